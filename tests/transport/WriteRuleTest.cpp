// The rule for writing one frame: a failed write is tried again at once, 92 failed writes give
// up, a broken pipe gives up at the first; giving up marks the socket disconnected. Real loopback
// sockets make the failures; the two C library calls the socket writes through are counted here.
#include "LoopbackPeer.h"
#include "transport/PacketCodec.h"
#include "transport/PacketData.h"
#include "transport/TCPServerInterface.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

// Calls on the watched descriptor: how many, how many failed, the last failure's errno.
std::atomic<int> g_watchedFd{-1};
std::atomic<int> g_calls{0};
std::atomic<int> g_failures{0};
std::atomic<int> g_lastErrno{0};

void countCall(int fd, ssize_t rc, int error) {
    if (fd != g_watchedFd.load()) {
        return;
    }
    ++g_calls;
    if (rc < 0) {
        ++g_failures;
        g_lastErrno = error;
    }
}

template <typename Function>
Function nextDefinition(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

// This executable's own definitions of send and sendmsg take the place of the C library's for
// the code linked into it (the socket layer is a static library), with no seam in that code: each
// call goes on unchanged to the next definition and is only counted on the way back.
extern "C" ssize_t send(int fd, const void* buffer, size_t length, int flags) {
    static const auto next = nextDefinition<ssize_t (*)(int, const void*, size_t, int)>("send");
    const ssize_t rc = next(fd, buffer, length, flags);
    const int error = errno;
    countCall(fd, rc, error);
    errno = error;
    return rc;
}

extern "C" ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    static const auto next = nextDefinition<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
    const ssize_t rc = next(fd, message, flags);
    const int error = errno;
    countCall(fd, rc, error);
    errno = error;
    return rc;
}

namespace transport {
namespace {

// Small socket buffers on both ends, so a peer that stops reading fills them long before the
// frame below is written.
constexpr int kSmallBuffer = 64 * 1024;
constexpr int kLargeBody = 8 * 1024 * 1024;
constexpr int kSmallBody = 1000;

enum class Peer { Reads, StopsReading, WriteSideShut, AlreadyDisconnected };

struct WriteCase {
    const char* name;
    Peer peer;
    int bodySize;
    bool written;
    int failures;
    int lastErrno;
    bool connectedAfter;
};

TEST(WriteRuleTest, RetriesThenGivesUp) {
    const WriteCase cases[] = {
        {"peer reads", Peer::Reads, kSmallBody, true, 0, 0, true},
        // A send that cannot go on fails with EAGAIN on a non-blocking socket: 91 failures are
        // tried again, the 92nd gives up.
        {"peer stops reading", Peer::StopsReading, kLargeBody, false, 92, EAGAIN, false},
        {"broken pipe", Peer::WriteSideShut, kSmallBody, false, 1, EPIPE, false},
        {"already disconnected", Peer::AlreadyDisconnected, kSmallBody, false, 0, 0, false},
    };
    for (const WriteCase& c : cases) {
        golden::LoopbackPeer peer;
        ASSERT_EQ(::setsockopt(peer.listenFd(), SOL_SOCKET, SO_RCVBUF, &kSmallBuffer, sizeof kSmallBuffer),
                  0);
        TCPServerInterface server;
        ASSERT_TRUE(server.m_socket.Create());
        const int fd = server.m_socket.GetSockId();
        ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSmallBuffer, sizeof kSmallBuffer), 0);
        server.m_socket.SetConnectTimeout(5);
        ASSERT_TRUE(server.Connect("127.0.0.1", peer.port())) << c.name;
        ASSERT_TRUE(peer.Accept()) << c.name;
        switch (c.peer) {
        case Peer::Reads:
            break;
        case Peer::StopsReading:
            ASSERT_EQ(::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK), 0);
            break;
        case Peer::WriteSideShut:
            ASSERT_EQ(::shutdown(fd, SHUT_WR), 0);
            break;
        case Peer::AlreadyDisconnected:
            server.m_socket.SetConnected(false);
            break;
        }
        auto request = newRequestData(c.bodySize);
        request->pBuffer[0] = kBodyTextCommand;
        request->nLength = static_cast<std::uint64_t>(c.bodySize);

        g_calls = 0;
        g_failures = 0;
        g_lastErrno = 0;
        g_watchedFd = fd;
        const bool written = SendPacket(server, *request);
        g_watchedFd = -1;

        EXPECT_EQ(written, c.written) << c.name;
        EXPECT_EQ(g_failures.load(), c.failures) << c.name;
        EXPECT_EQ(g_lastErrno.load(), c.lastErrno) << c.name;
        EXPECT_EQ(server.m_socket.IsConnected(), c.connectedAfter) << c.name;
        if (c.peer == Peer::Reads) {
            EXPECT_EQ(peer.ReadFrameBody().size(), static_cast<std::size_t>(kSmallBody));
        }
        if (c.peer == Peer::AlreadyDisconnected) {
            EXPECT_EQ(g_calls.load(), 0) << c.name;
        }
    }
}

} // namespace
} // namespace transport
