// The stream socket against a loopback listener: connect time-out, whole reads, attach rules.
#include "LoopbackPeer.h"
#include "transport/TCPServerInterface.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>

namespace transport {
namespace {

TEST(SocketTest, ConnectFillsLocalAddress) {
    golden::LoopbackPeer peer;
    TCPServerInterface server;
    ASSERT_TRUE(server.m_socket.Create());
    ASSERT_TRUE(server.Connect("127.0.0.1", peer.port()));
    EXPECT_EQ(server.m_strLocalIP, "127.0.0.1");
    EXPECT_GT(server.m_nLocalPort, 0);
    EXPECT_TRUE(server.m_socket.IsConnected());
    EXPECT_TRUE(server.Connect("127.0.0.1", peer.port())); // already connected
    const int flags = ::fcntl(server.m_socket.GetSockId(), F_GETFD);
    EXPECT_TRUE(flags & FD_CLOEXEC);
}

TEST(SocketTest, UnparsableHostFails) {
    TCPServerInterface server;
    ASSERT_TRUE(server.m_socket.Create());
    server.m_socket.SetConnectTimeout(1);
    EXPECT_FALSE(server.Connect("not.an.address", 80));
    EXPECT_FALSE(server.m_socket.IsConnected());
}

TEST(SocketTest, WithoutDescriptorEverythingFails) {
    CInStreamSocket socket;
    std::uint8_t buffer[4];
    EXPECT_FALSE(socket.Connect(CInAddr("127.0.0.1", 1)));
    EXPECT_EQ(socket.Read(buffer, 4), -1);
    EXPECT_EQ(socket.Write(buffer, 4), -1);
    CInAddr addr;
    EXPECT_FALSE(socket.GetSockName(addr));
}

// A listener whose accept queue is full leaves further connects hanging, so only the time-out
// can end them.
TEST(SocketTest, ConnectTimesOutAfterOneSecond) {
    golden::LoopbackPeer peer(0);
    std::vector<int> fillers;
    bool hanging = false;
    for (int i = 0; i < 16 && !hanging; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const CInAddr addr("127.0.0.1", static_cast<std::uint16_t>(peer.port()));
        ::connect(fd, reinterpret_cast<const sockaddr*>(&addr.sockaddr()), sizeof(sockaddr_in));
        pollfd p{fd, POLLOUT, 0};
        hanging = ::poll(&p, 1, 200) == 0;
        fillers.push_back(fd);
    }
    ASSERT_TRUE(hanging) << "could not fill the listener's backlog";

    TCPServerInterface server;
    ASSERT_TRUE(server.m_socket.Create());
    server.m_socket.SetConnectTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(server.Connect("127.0.0.1", peer.port()));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 5.0);
    EXPECT_FALSE(server.m_socket.IsConnected());
    for (int fd : fillers)
        ::close(fd);
}

TEST(SocketTest, ShortReadThenCloseIsEndOfStream) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    CInStreamSocket socket;
    ASSERT_TRUE(socket.Attach(fds[0]));
    const std::uint8_t two[2] = {1, 2};
    ASSERT_EQ(::write(fds[1], two, 2), 2);
    ::close(fds[1]);
    std::uint8_t buffer[4];
    EXPECT_EQ(socket.Read(buffer, 4), 0);
    EXPECT_TRUE(socket.IsEof());
    EXPECT_FALSE(socket.IsConnected());
    EXPECT_EQ(socket.Read(buffer, 4), -1);
    socket.Close();
    ::close(fds[0]);
}

TEST(SocketTest, AttachRulesAndAttachedCloseKeepsDescriptor) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    CInStreamSocket socket;
    ASSERT_TRUE(socket.Attach(fds[0]));
    EXPECT_FALSE(socket.Attach(fds[1]));
    EXPECT_EQ(socket.GetSockId(), fds[0]);
    socket.Close();
    EXPECT_EQ(socket.GetSockId(), -1);
    EXPECT_NE(::fcntl(fds[0], F_GETFD), -1); // still open: it was attached, not owned
    CInStreamSocket copy;
    CInStreamSocket source;
    ASSERT_TRUE(source.Attach(fds[1]));
    ASSERT_TRUE(copy.Attach(source));
    EXPECT_TRUE(copy.IsConnected());
    copy.Detach();
    EXPECT_FALSE(copy.IsConnected());
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
} // namespace transport
