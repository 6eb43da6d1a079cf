// The one-agent selection on a private Xvfb: the first claim owns it, later claims find it held and
// ask its owner forward, and once the owner's connection ends a claim owns it again. Skips when
// Xvfb is not installed.
#include "platform/X11InstanceSelection.h"

#include "support/XvfbServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>

namespace platform {
namespace {

using Claim = X11InstanceSelection::Claim;

constexpr const char* kName = "_OLVEX_TEST_INSTANCE";
constexpr int kRequestWaitMs = 5000;

// Forward requests read until `count` came or the wait ran out.
int forwardRequests(X11InstanceSelection& held, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestWaitMs);
    int seen = held.takeForwardRequests();
    while (seen < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{held.fileDescriptor(), POLLIN, 0};
        ::poll(&p, 1, kRequestWaitMs);
        seen += held.takeForwardRequests();
    }
    return seen;
}

TEST(InstanceSelection, OneOwnerPerDisplayAskedForwardByLaterClaimsAndFreedWithItsConnection) {
    if (!streaming::test::XvfbServer::installed())
        GTEST_SKIP() << "Xvfb is not installed";
    streaming::test::XvfbServer server;
    ASSERT_FALSE(server.display().empty());
    Claim result = Claim::Failed;
    std::string error;
    auto first = X11InstanceSelection::claim(server.display(), kName, result, error);
    ASSERT_EQ(result, Claim::Owned) << error;
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->holds());
    EXPECT_EQ(first->takeForwardRequests(), 0);

    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(X11InstanceSelection::claim(server.display(), kName, result, error), nullptr);
        EXPECT_EQ(result, Claim::HeldByAnother) << error;
    }
    EXPECT_EQ(forwardRequests(*first, 2), 2);
    EXPECT_TRUE(first->holds());

    // Another name is another selection.
    auto other = X11InstanceSelection::claim(server.display(), std::string(kName) + "_OTHER", result, error);
    EXPECT_EQ(result, Claim::Owned) << error;
    EXPECT_TRUE(other);

    first.reset();
    auto next = X11InstanceSelection::claim(server.display(), kName, result, error);
    EXPECT_EQ(result, Claim::Owned) << error;
    EXPECT_TRUE(next);

    EXPECT_EQ(X11InstanceSelection::claim(":4093", kName, result, error), nullptr);
    EXPECT_EQ(result, Claim::Failed);
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace platform
