// Blocking loopback test client.
#include "support/RawClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace testsupport {

namespace {

constexpr int kReadTimeoutSeconds = 3;

} // namespace

bool RawClient::connectTo(std::uint16_t port) {
    m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_fd.valid()) {
        return false;
    }
    const timeval limit{kReadTimeoutSeconds, 0};
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return ::connect(m_fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool RawClient::send(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RawClient::readExactly(std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(m_fd.get(), out + done, size - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<FrameParse> RawClient::readFrame() {
    Bytes bytes(kFrameHeaderSize);
    if (!readExactly(bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    readU32(bytes, kSyncSize, length);
    if (length < kLengthSize || length - kLengthSize > kMaxBodySize) {
        return std::nullopt;
    }
    bytes.resize(kFrameHeaderSize + length - kLengthSize);
    if (!readExactly(bytes.data() + kFrameHeaderSize, bytes.size() - kFrameHeaderSize)) {
        return std::nullopt;
    }
    FrameParse parsed = parseFrame(bytes.data(), bytes.size());
    if (parsed.status != FrameStatus::Complete) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<TextCommand> RawClient::readText() {
    const auto parsed = readFrame();
    if (!parsed) {
        return std::nullopt;
    }
    return parseTextBody(parsed->body);
}

bool RawClient::readsEndOfStream() {
    std::uint8_t byte = 0;
    for (;;) {
        const ssize_t n = ::recv(m_fd.get(), &byte, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n == 0;
    }
}

} // namespace testsupport
