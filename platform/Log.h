// The agent's log: the system log (syslog, ident "olvex-student"), written with printf-style
// messages that carry their bracketed tag ("[ZQ]...", "[ZQ_RELAY]...", "[PC00004]...").
// Thread-safe; any thread may log. Tests install a sink to read what was logged.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace platform {

// Writes one formatted line to the log (and to the sink, when one is installed).
void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const std::string& line);

// A sink receives every line instead of syslog; pass an empty function to restore syslog.
using LogSink = std::function<void(const std::string& line)>;
void setLogSink(LogSink sink);

// Flushes what the log buffers; called before the process ends.
void flushLog();

// One kind of line that input from outside can repeat without end (a text that does not convert):
// at most linesPerSecond of them reach the log in each second of the main clock; the rest are
// counted, and the next line let through says how many were held back. Thread-safe.
class LogRateLimit {
public:
    explicit LogRateLimit(int linesPerSecond) : m_nLinesPerSecond(linesPerSecond) {}
    void logf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::mutex m_mutex;
    const int m_nLinesPerSecond;
    double m_windowStart = 0.0;
    bool m_bStarted = false;
    int m_nInWindow = 0;
    std::uint64_t m_nHeldBack = 0;
};

} // namespace platform
