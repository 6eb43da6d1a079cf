// Slot registration and the relay session handshake over loopback, with the console's packets
// framed by the scripted peers' own codec and time on the virtual clock.
#include "ClientFixture.h"

#include <algorithm>
#include <gmock/gmock.h>

namespace clienttest {
namespace {

using ::testing::ElementsAre;

constexpr double kClockStep = 0.1;
constexpr int kMaxSteps = 30;
constexpr std::chrono::milliseconds kStepWait{20};

class Handshake : public ClientFixture {
protected:
    // Advances the virtual clock in small steps until the console has count frames.
    bool advanceUntilCount(std::size_t count) {
        for (int step = 0; step < kMaxSteps; ++step) {
            if (m_console->waitForCount(count, kStepWait))
                return true;
            m_loop.advance(kClockStep);
        }
        return m_console->waitForCount(count, kStepWait);
    }
};

TEST_F(Handshake, ListedSlotRegistersAfterOneSecond) {
    startDirect("02", "Kim");
    m_console->sendText("[MV00007]1,2,3");
    ASSERT_TRUE(m_console->waitForCount(2));
    ASSERT_TRUE(advanceUntilCount(3));
    auto got = m_console->received();
    EXPECT_EQ(describe(got[0].body), "[PC00017]3.0.2.1008");
    EXPECT_EQ(describe(got[1].body), "[PC00029]3,apple,Reserved");
    // The typed "02" goes out as plain decimal.
    EXPECT_EQ(describe(got[2].body), "[PC00002]2,Kim,0,0,0,0,false");
    EXPECT_GE(got[2].arrivedAt - got[1].arrivedAt, 1.0 - 1e-9);
    EXPECT_EQ(client::gStudentSessionInfo().m_szSlot.get(), "2");
}

TEST_F(Handshake, EmptySlotListMatchesSlotZero) {
    startDirect("", "Kim");
    m_console->sendText("[MV00007]");
    ASSERT_TRUE(advanceUntilCount(3));
    EXPECT_EQ(sentToConsole()[2], "[PC00002]0,Kim,0,0,0,0,false");
}

TEST_F(Handshake, UnlistedSlotClosesTheLinkWithOneDisconnect) {
    startDirect("4", "Kim");
    auto link = m_client->getMVConn();
    const void* linkSender = static_cast<const transport::TCPConnection*>(link.get());
    std::vector<const void*> senders;
    auto token = m_center.addObserver(client::events::kDisconnect, nullptr,
                                      [&](const platform::Notification& n) { senders.push_back(n.sender); });
    m_console->sendText("[MV00007]1,2,3");
    ASSERT_TRUE(m_console->waitForCount(2));
    for (int step = 0; step < kMaxSteps && !m_console->waitForClosed(std::nullopt, kStepWait); ++step)
        m_loop.advance(kClockStep);
    ASSERT_TRUE(m_console->waitForClosed());
    link->JoinThreads();
    m_center.removeObserver(token);
    EXPECT_EQ(disconnects(), 1u);
    EXPECT_THAT(senders, ElementsAre(linkSender));
    EXPECT_EQ(m_console->received().size(), 2u) << "no registration for an unlisted slot";
}

TEST_F(Handshake, RelaySessionCarriesTheConnectionNumbers) {
    startRelay("4", "Kim", /*completeHandshake=*/false);
    m_console->sendText("[FR00001]");
    ASSERT_TRUE(m_console->waitForCount(1));
    m_console->sendText("[FR00002]17,4");
    ASSERT_TRUE(m_console->waitForCount(2));
    // A later command arrives inside an envelope, and its answer carries the numbers.
    m_console->sendBody(envelopeBody(4, 17, textBody("[MV00107]true")));
    ASSERT_TRUE(m_console->waitForCount(3));
    EXPECT_THAT(sentToConsole(), ElementsAre("[US00001]teacher01,3.0.2.1008", "relay(4,17):[PC_CONN]",
                                             "relay(4,17):[AN00004]"));
    auto ids = m_client->getRelayConnData();
    EXPECT_EQ(ids.nConnId, 17);
    EXPECT_EQ(ids.nConnTeacherId, 4);
    // The envelope's layout: type 13, teacher id at 1, student id at 5, inner length at 9.
    const Bytes body = m_console->received()[1].body;
    ASSERT_EQ(body.size(), 13u + 91u);
    EXPECT_EQ(body[0], 13);
    EXPECT_EQ(body[1], 4);
    EXPECT_EQ(body[5], 17);
    EXPECT_EQ(body[9], 91);
    EXPECT_EQ(body[13], 1);
    auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ZQ_UR_LOG] send:[PC_CONN]m_nTeacherConnId, m_nConnId"),
              lines.end());
}

TEST_F(Handshake, ConnectionNumbersNeedExactlyTwoFields) {
    startRelay("4", "Kim", /*completeHandshake=*/false);
    m_console->sendText("[FR00002]17,4,9");
    ASSERT_TRUE(m_console->waitForCount(1));
    EXPECT_EQ(sentToConsole()[0], "relay(0,0):[PC_CONN]");
    m_console->sendText("[FR00002]17,4");
    m_console->sendText("[FR00002]99");
    ASSERT_TRUE(m_console->waitForCount(3));
    EXPECT_EQ(sentToConsole()[2], "relay(4,17):[PC_CONN]");
}

TEST_F(Handshake, RelayDisconnectIsReportedByTheClient) {
    startRelay();
    std::vector<const void*> senders;
    auto token = m_center.addObserver(client::events::kDisconnect, nullptr,
                                      [&](const platform::Notification& n) { senders.push_back(n.sender); });
    m_console->sendText("[MV00100]");
    ASSERT_TRUE(m_loop.runUntil([&] { return disconnects() >= 1; }));
    m_center.removeObserver(token);
    ASSERT_FALSE(senders.empty());
    EXPECT_EQ(senders.front(), m_client.get());
}

TEST_F(Handshake, RelayCloseCommandClosesTheRelayLink) {
    startRelay();
    m_console->sendText("[MV10001]");
    EXPECT_TRUE(m_console->waitForClosed());
    m_client->getRelayConn()->JoinThreads();
    EXPECT_EQ(disconnects(), 1u);
}

TEST_F(Handshake, DirectCloseCommandKeepsTheLink) {
    startDirect();
    m_console->sendText("[MV10001]");
    m_console->sendText("[MV00107]true");
    ASSERT_TRUE(m_console->waitForCount(1));
    EXPECT_EQ(sentToConsole()[0], "[AN00004]");
}

TEST_F(Handshake, CommandsOnTheWireReachTheirHandlers) {
    startDirect();
    m_console->sendText("[MV00050]true");
    ASSERT_TRUE(m_loop.runUntil([&] { return !posted().empty(); }));
    EXPECT_EQ(posted()[0].name, client::events::kScreenLock);
    EXPECT_EQ(posted()[0].dictionary.at("lock"), "true");
}

TEST_F(Handshake, ReplacedClientNoLongerHandlesItsLink) {
    startDirect();
    auto old = m_client;
    client::setGStudentClient(old);
    client::setGStudentClient(nullptr);
    EXPECT_TRUE(m_console->waitForClosed()) << "tearing the client down closes its link";
    old->getMVConn()->JoinThreads();
    EXPECT_EQ(disconnects(), 1u);
    deliverText("READ_MSG_MV00050", Link::Direct, "true");
    EXPECT_TRUE(posted().empty());
}

TEST_F(Handshake, StoringTheSameClientAgainKeepsItUp) {
    startDirect();
    client::setGStudentClient(m_client);
    client::setGStudentClient(m_client);
    m_console->sendText("[MV00107]true");
    ASSERT_TRUE(m_console->waitForCount(1));
    EXPECT_EQ(sentToConsole()[0], "[AN00004]");
    client::setGStudentClient(nullptr);
    EXPECT_TRUE(m_console->waitForClosed());
}

} // namespace
} // namespace clienttest
