// A scripted peer on 127.0.0.1 for link tests: listens on a free port, accepts the agent's
// connection, writes golden frames and reads what the agent sends. Waits are poll-based with a
// wall-clock ceiling that only trips when a test is failing.
#pragma once

#include "GoldenWire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace golden {

constexpr int kPeerWaitMs = 10000;

class LoopbackPeer {
public:
    explicit LoopbackPeer(int backlog = 8) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        ::listen(m_listen, backlog);
        socklen_t len = sizeof(addr);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~LoopbackPeer() {
        CloseConnection();
        if (m_listen >= 0)
            ::close(m_listen);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int port() const { return m_port; }
    int listenFd() const { return m_listen; }

    bool Accept() {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, kPeerWaitMs) != 1)
            return false;
        m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        return m_conn >= 0;
    }

    bool Write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t rc = ::send(m_conn, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (rc <= 0)
                return false;
            done += static_cast<std::size_t>(rc);
        }
        return true;
    }

    // Reads exactly n bytes; false on end of stream, error or a stalled peer.
    bool Read(Bytes& out, std::size_t n) {
        out.resize(n);
        std::size_t done = 0;
        while (done < n) {
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, kPeerWaitMs) != 1)
                return false;
            const ssize_t rc = ::recv(m_conn, out.data() + done, n - done, 0);
            if (rc <= 0)
                return false;
            done += static_cast<std::size_t>(rc);
        }
        return true;
    }

    // Reads one frame and answers its body (empty on failure or a bad header).
    Bytes ReadFrameBody() {
        Bytes header;
        if (!Read(header, 8))
            return {};
        const std::uint8_t t = header[3];
        if (header[0] != (0xA0 | (t >> 5)) || header[1] != (0xA0 | (t >> 6)) ||
            header[2] != (0xA0 | (t >> 4)))
            return {};
        const std::uint32_t length = GetU32(header, 4);
        Bytes body;
        if (length < 4 || !Read(body, length - 4))
            return {};
        return body;
    }

    // True when the agent closed its end (a read sees end of stream).
    bool SeesEndOfStream() {
        pollfd p{m_conn, POLLIN, 0};
        if (::poll(&p, 1, kPeerWaitMs) != 1)
            return false;
        std::uint8_t byte;
        return ::recv(m_conn, &byte, 1, 0) == 0;
    }

    void CloseConnection() {
        if (m_conn >= 0)
            ::close(m_conn);
        m_conn = -1;
    }

private:
    int m_listen = -1;
    int m_conn = -1;
    int m_port = 0;
};

// Decodes an ASCII text from a type-1 body with the reference keystream (empty if not type 1).
inline std::string DecodeAsciiText(const Bytes& body) {
    if (body.size() < 73 || body[0] != 1)
        return {};
    const std::uint32_t bytes = GetU32(body, 69);
    std::string text;
    for (std::size_t i = 0; i < bytes && i < sizeof(kTextKeystream) && 73 + i < body.size(); i += 2)
        text.push_back(static_cast<char>(body[73 + i] ^ kTextKeystream[i]));
    return text;
}

} // namespace golden
