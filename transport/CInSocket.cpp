#include "transport/CInSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace transport {
namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr int kPollForever = -1;

// Waits until a non-blocking connect finishes; answers whether it succeeded.
bool FinishConnect(int fd, int timeoutSeconds) {
    pollfd p{};
    p.fd = fd;
    p.events = POLLOUT;
    const int timeoutMs = timeoutSeconds > 0 ? timeoutSeconds * kMillisecondsPerSecond : kPollForever;
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0)
        return false;
    int error = 0;
    socklen_t len = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        return false;
    return error == 0;
}

bool SetBlocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0;
}

} // namespace

CInAddr::CInAddr() {
    std::memset(&m_addr, 0, sizeof(m_addr));
    m_addr.sin_family = AF_INET;
}

CInAddr::CInAddr(const std::string& dottedHost, std::uint16_t port) : CInAddr() {
    m_addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, dottedHost.c_str(), &m_addr.sin_addr) != 1)
        m_addr.sin_addr.s_addr = INADDR_NONE;
}

std::string CInAddr::GetAddress() const {
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &m_addr.sin_addr, text, sizeof(text)) == nullptr)
        return {};
    return text;
}

std::uint16_t CInAddr::GetPort() const {
    return ntohs(m_addr.sin_port);
}

CInSocket::~CInSocket() {
    Close();
}

bool CInSocket::Create() {
    if (m_sockId.load() >= 0)
        return true;
    int params[3] = {};
    GetSocketParams(params);
    const int fd = ::socket(params[0], params[1] | SOCK_CLOEXEC, params[2]);
    if (fd < 0)
        return false;
    m_sockId.store(fd);
    m_bAttached.store(false);
    return true;
}

void CInSocket::Close() {
    const int fd = m_sockId.exchange(-1);
    if (fd >= 0 && !m_bAttached.load()) {
        OnClose();
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
    m_bAttached.store(false);
}

void CInSocket::Shutdown() {
    const int fd = m_sockId.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

bool CInSocket::Attach(int sockId) {
    int expected = -1;
    if (sockId < 0 || !m_sockId.compare_exchange_strong(expected, sockId))
        return false;
    m_bAttached.store(true);
    return true;
}

bool CInSocket::Attach(CInSocket& other) {
    return Attach(other.GetSockId());
}

void CInSocket::Detach() {
    m_sockId.store(-1);
    m_bAttached.store(false);
}

bool CInSocket::GetSockName(CInAddr& addr) const {
    const int fd = m_sockId.load();
    if (fd < 0)
        return false;
    socklen_t len = sizeof(sockaddr_in);
    return ::getsockname(fd, reinterpret_cast<struct sockaddr*>(&addr.sockaddr()), &len) == 0;
}

CInStreamSocket::~CInStreamSocket() {
    Close();
}

void CInStreamSocket::GetSocketParams(int params[3]) const {
    params[0] = AF_INET;
    params[1] = SOCK_STREAM;
    params[2] = IPPROTO_TCP;
}

bool CInStreamSocket::Attach(int sockId) {
    if (!CInSocket::Attach(sockId))
        return false;
    m_bEof.store(false);
    m_bConnected.store(true);
    return true;
}

bool CInStreamSocket::Attach(CInSocket& other) {
    return Attach(other.GetSockId());
}

bool CInStreamSocket::Attach(CInStreamSocket& other) {
    if (!CInSocket::Attach(other.GetSockId()))
        return false;
    m_bEof.store(other.m_bEof.load());
    m_bConnected.store(other.m_bConnected.load());
    return true;
}

void CInStreamSocket::Detach() {
    CInSocket::Detach();
    m_bEof.store(false);
    m_bConnected.store(false);
}

void CInStreamSocket::OnClose() {
    m_bEof.store(false);
    m_bConnected.store(false);
}

bool CInStreamSocket::Connect(const CInAddr& addr) {
    const int fd = m_sockId.load();
    if (fd < 0)
        return false;
    if (m_bConnected.load())
        return true;
    // A non-blocking connect waited for with poll: the process alarm would hit any thread, and
    // closing the descriptor from a signal handler does not stop a blocked connect on Linux.
    if (!SetBlocking(fd, false))
        return false;
    const auto* sa = reinterpret_cast<const struct sockaddr*>(&addr.sockaddr());
    bool ok = ::connect(fd, sa, sizeof(sockaddr_in)) == 0;
    if (!ok && errno == EINPROGRESS)
        ok = FinishConnect(fd, m_nConnectTimeout.load());
    if (!SetBlocking(fd, true))
        ok = false;
    if (ok) {
        m_bEof.store(false);
        m_bConnected.store(true);
    }
    return m_bConnected.load();
}

ssize_t CInStreamSocket::Read(void* buffer, std::size_t length) {
    const int fd = m_sockId.load();
    if (fd < 0 || !m_bConnected.load() || m_bEof.load())
        return -1;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t rc = ::recv(fd, out + done, length - done, 0);
        if (rc == 0) {
            m_bEof.store(true);
            m_bConnected.store(false);
            return 0;
        }
        if (rc < 0 && errno == EINTR)
            continue; // a signal is not a broken link
        if (rc < 0) {
            m_bConnected.store(false);
            return -1;
        }
        done += static_cast<std::size_t>(rc);
    }
    return static_cast<ssize_t>(length);
}

ssize_t CInStreamSocket::Write(const void* buffer, std::size_t length) {
    const int fd = m_sockId.load();
    if (fd < 0 || !m_bConnected.load())
        return -1;
    // MSG_NOSIGNAL: a peer that has gone gives EPIPE here instead of a signal.
    return ::send(fd, buffer, length, MSG_NOSIGNAL);
}

ssize_t CInStreamSocket::Write(const void* first, std::size_t firstLength, const void* second,
                               std::size_t secondLength) {
    const int fd = m_sockId.load();
    if (fd < 0 || !m_bConnected.load())
        return -1;
    iovec pieces[2] = {{const_cast<void*>(first), firstLength}, {const_cast<void*>(second), secondLength}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = 2;
    return ::sendmsg(fd, &message, MSG_NOSIGNAL);
}

} // namespace transport
