// Socket helpers of the test peers.
#include "support/PeerSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset(other.release());
    }
    return *this;
}

int UniqueFd::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void StopSignal::signal() {
    const std::uint64_t one = 1;
    // The counter only has to become non-zero; a failed write means it already is.
    [[maybe_unused]] const ssize_t written = ::write(m_fd.get(), &one, sizeof one);
}

namespace {

// A TCP socket bound to 127.0.0.1 and an ephemeral port; listening when backlog is set.
UniqueFd bindLoopback(std::uint16_t& port, std::optional<int> backlog) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        return fd;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        (backlog && ::listen(fd.get(), *backlog) != 0) ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return UniqueFd();
    }
    port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

UniqueFd listenLoopback(std::uint16_t& port, int backlog) {
    return bindLoopback(port, backlog);
}

// Bound without SO_REUSEADDR, so no other socket may bind the port while this one holds it.
RefusedPort::RefusedPort() : m_fd(bindLoopback(m_port, std::nullopt)) {}

namespace {

WaitResult waitFor(int fd, short events, int stopFd, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, stopFd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return WaitResult::Failed;
        }
        if (ready == 0) {
            return WaitResult::TimedOut;
        }
        if (stopFd >= 0 && (fds[1].revents & POLLIN) != 0) {
            return WaitResult::Stopped;
        }
        return WaitResult::Ready;
    }
}

} // namespace

WaitResult waitReadable(int fd, int stopFd, int timeoutMs) {
    return waitFor(fd, POLLIN, stopFd, timeoutMs);
}

WaitResult waitWritable(int fd, int stopFd, int timeoutMs) {
    return waitFor(fd, POLLOUT, stopFd, timeoutMs);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int stopFd) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitWritable(fd, stopFd, kWriteTimeoutMs) != WaitResult::Ready) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

void peerLog(const char* peer, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "[%s] %s\n", peer, line);
}

} // namespace testsupport
