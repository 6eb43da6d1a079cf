// A link torn down while another thread connects it: the connect ends at once, and the descriptor
// the connecting thread uses is never closed under it (its number would go to the next file opened
// and the connecting thread would then change that file).
#include "platform/NotificationCenter.h"
#include "support/FullBacklogListener.h"
#include "transport/TCPServerClient.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace transport {
namespace {

constexpr int kConnectTimeoutSeconds = 1;
constexpr int kSynSentState = 2; // the state column of /proc/net/tcp
constexpr int kWaitTries = 400;
constexpr auto kWaitStep = std::chrono::milliseconds(5);

// Whether this process has a connect to `port` waiting for the peer's answer.
bool connectPendingTo(std::uint16_t port) {
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = remote.find(':');
        if (colon == std::string::npos)
            continue;
        if (std::stoi(remote.substr(colon + 1), nullptr, 16) == port &&
            std::stoi(state, nullptr, 16) == kSynSentState)
            return true;
    }
    return false;
}

bool nonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

TEST(LinkConnectTest, CloseDuringAConnectEndsItAndLeavesItsDescriptorAlone) {
    testsupport::FullBacklogListener silent;
    ASSERT_TRUE(silent.start());
    platform::NotificationCenter center;
    auto link = TCPServerClient::create(center);
    ASSERT_TRUE(link->Open());
    link->SetConnectTimeout(kConnectTimeoutSeconds);
    bool connected = true;
    std::thread connecting([&] { connected = link->Connect(silent.host(), silent.port()); });
    bool pending = false;
    for (int i = 0; i < kWaitTries && !(pending = connectPendingTo(silent.port())); ++i)
        std::this_thread::sleep_for(kWaitStep);
    ASSERT_TRUE(pending) << "the connect never got under way";

    link->Close();
    // The next files opened take the lowest free numbers: the link's, had Close freed it.
    int pipeFds[2] = {-1, -1};
    ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
    connecting.join();
    EXPECT_FALSE(connected);
    EXPECT_FALSE(link->isConnect());
    EXPECT_TRUE(nonBlocking(pipeFds[0]) && nonBlocking(pipeFds[1]))
        << "the connecting thread changed a file not its own";
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    // A link closed before its connect starts does not connect either.
    auto closed = TCPServerClient::create(center);
    ASSERT_TRUE(closed->Open());
    closed->Close();
    EXPECT_FALSE(closed->Connect(silent.host(), silent.port()));
}

} // namespace
} // namespace transport
