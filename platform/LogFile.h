// The log where no system log listens: containers and minimal installs have no /dev/log, and lines
// handed to syslog() there are lost. The agent then appends its lines, each with its time and
// process id as the system log would show them, to a file under the state home. A peer can make
// the agent log for as long as a class lasts, so the file is bounded: past its limit it is turned
// over to one ".1" file, and the two never hold more than twice the limit.
// Not locked itself: the log writes to it under its own lock.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class LogFile {
public:
    static constexpr std::uint64_t kMaxLogFileBytes = 4ull * 1024 * 1024;

    explicit LogFile(std::string path, std::uint64_t maxBytes = kMaxLogFileBytes);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // False when the file cannot be made or written (a read-only home): the line is lost.
    bool write(const std::string& line);
    const std::string& path() const { return m_path; }

private:
    bool openFile();
    void turnOver();

    const std::string m_path;
    const std::uint64_t m_maxBytes;
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// Whether a system-log daemon can take lines: a socket at socketPath ("/dev/log").
bool systemLogListens(const std::string& socketPath);
// "<state home>/olvex-student/olvex-student.log".
std::string logFilePath();

} // namespace platform
