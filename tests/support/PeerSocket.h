// Small socket helpers shared by the test peers: owned descriptors, a stop signal that wakes
// every peer thread, loopback listeners and bounded waits. Any thread; no state of their own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testsupport {

// Peers never wait longer than this for one write to drain.
constexpr int kWriteTimeoutMs = 5000;

// An owned file descriptor, closed once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// An eventfd that, once signalled, stays readable: every poll that includes it returns.
class StopSignal {
public:
    StopSignal();
    void signal();
    int fd() const { return m_fd.get(); }

private:
    UniqueFd m_fd;
};

// A listening TCP socket on 127.0.0.1 with an ephemeral port (close-on-exec, non-blocking).
UniqueFd listenLoopback(std::uint16_t& port, int backlog);

// A loopback port that refuses every connect while this lives: a socket bound to it that never
// listens. A port bound and closed again is no such thing, since the next listener of any test
// running beside may be given it.
class RefusedPort {
public:
    RefusedPort();
    std::uint16_t port() const { return m_port; }

private:
    std::uint16_t m_port = 0;
    UniqueFd m_fd;
};

enum class WaitResult { Ready, Stopped, TimedOut, Failed };

// Waits until fd is readable (or writable), the stop signal fires, or timeoutMs passes (-1: no limit).
WaitResult waitReadable(int fd, int stopFd, int timeoutMs);
WaitResult waitWritable(int fd, int stopFd, int timeoutMs);

// Writes all bytes to a non-blocking socket without raising SIGPIPE; false on error, stop or time-out.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int stopFd);

// One log line on standard error, tagged with the peer's name.
void peerLog(const char* peer, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace testsupport
