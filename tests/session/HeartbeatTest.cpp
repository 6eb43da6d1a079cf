// Session start and heartbeat on the virtual clock against scripted consoles on loopback: one
// "[PC00003]" per 10 s while the console answers, the lost link reported exactly 30 s after the
// connect when it stays silent, and the relay heartbeat in envelopes.
#include "support/CaptureFixture.h"
#include "support/ConsolePeer.h"
#include "support/RelayPeer.h"

#include <chrono>

namespace session::test {
namespace {

using namespace std::chrono_literals;
// The session runs inside the capture objects, which the shared capture fixture starts.
using streaming::test::CaptureFixture;

class HeartbeatTest : public CaptureFixture {
protected:
    void TearDown() override {
        CaptureFixture::TearDown();
        m_console.reset();
        m_relay.reset();
    }

    void startDirect(bool answers, bool daemon = false) {
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setHeartbeatAnswers(answers);
        m_console->setFreeSlots(std::nullopt); // the slot check waits on the main clock; not under test here
        ASSERT_TRUE(m_console->start());
        useDirectConsole(m_console->port());
        daemon ? startDaemon() : startProcessor();
        login();
        ASSERT_TRUE(m_console->waitForLinks(1));
        m_client = client::gStudentClient();
        ASSERT_TRUE(m_client);
    }

    // Everything queued on the direct link so far has reached the console: a marker sent after it
    // arrives last, as the link keeps its order. Counts taken after this miss no packet in flight.
    void flushToConsole() {
        capture().session().drainSendQueue();
        ASSERT_TRUE(m_client->sendCommand("[PC00015]flush,5000", client::StudentClient::Link::Direct));
        ASSERT_TRUE(m_console->waitFor("[PC00015]"));
    }

    // Moves the clock to the next tick and lets its packet reach the console.
    void tick() {
        m_loop.advance(kHeartbeatIntervalSeconds);
        capture().session().drainSendQueue();
    }

    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::unique_ptr<testsupport::RelayPeer> m_relay;
    std::shared_ptr<client::StudentClient> m_client;
};

TEST_F(HeartbeatTest, AnsweredConsoleGetsOneHeartbeatEveryTenSecondsAndNoDisconnect) {
    startDirect(true);
    EXPECT_EQ(m_handedOver, m_client);
    m_loop.advance(9.9);
    flushToConsole();
    EXPECT_EQ(m_console->count("[PC00003]"), 0u);
    for (std::size_t n = 1; n <= 6; ++n) {
        m_loop.advance(n == 1 ? 0.1 : kHeartbeatIntervalSeconds);
        capture().session().drainSendQueue();
        ASSERT_TRUE(m_console->waitFor("[PC00003]")) << "tick " << n;
        // The answer resets the count before the next tick.
        ASSERT_TRUE(eventually([&] { return m_client->getHeartBeatFailureCnt() == 0; }));
        flushToConsole();
        EXPECT_EQ(m_console->count("[PC00003]"), n);
    }
    EXPECT_EQ(disconnects(), 0u);
}

TEST_F(HeartbeatTest, SilentConsoleIsReportedLostThirtySecondsAfterTheConnect) {
    startDirect(false);
    tick(); // 10 s: the one heartbeat
    ASSERT_TRUE(m_console->waitFor("[PC00003]"));
    tick(); // 20 s: nothing sent
    m_loop.advance(9.9);
    EXPECT_EQ(disconnects(), 0u);
    m_loop.advance(0.1); // 30 s
    capture().session().drainSendQueue();
    ASSERT_EQ(disconnects(), 1u);
    EXPECT_EQ(disconnectSenders()[0], static_cast<const void*>(m_capture.processor.get()));
    EXPECT_EQ(logCount("[ZQ]Heartbeat failure:3"), 1u);
    tick(); // 40 s: counting on, reported once per run of failures
    tick();
    EXPECT_EQ(disconnects(), 1u);
    EXPECT_EQ(m_client->getHeartBeatFailureCnt(), 5);
    flushToConsole();
    EXPECT_EQ(m_console->count("[PC00003]"), 1u);
}

TEST_F(HeartbeatTest, AnAnswerBeforeTheThirdTickPreventsTheDisconnect) {
    startDirect(false);
    tick();
    ASSERT_TRUE(m_console->waitFor("[PC00003]"));
    tick();
    m_loop.advance(5.0);
    ASSERT_TRUE(m_console->sendText("[MV10002]"));
    ASSERT_TRUE(eventually([&] { return m_client->getHeartBeatFailureCnt() == 0; }));
    m_loop.advance(5.0); // 30 s: sends again instead of reporting the link lost
    capture().session().drainSendQueue();
    ASSERT_TRUE(m_console->waitFor("[PC00003]"));
    EXPECT_EQ(disconnects(), 0u);
}

TEST_F(HeartbeatTest, DaemonReportsTheSilentConsoleWithoutALogLine) {
    startDirect(false, true);
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_EQ(disconnects(), 1u);
    EXPECT_EQ(disconnectSenders()[0], static_cast<const void*>(m_capture.daemon.get()));
    EXPECT_EQ(logCount("[ZQ]Heartbeat failure:3"), 0u);
}

TEST_F(HeartbeatTest, TickOfAnotherTimerDoesNothing) {
    startDirect(true);
    capture().session().heartbeatTimer({{kTimerIdKey, "somethingElse"}});
    capture().session().heartbeatRelayTimer({{kTimerIdKey, kHeartbeatTimerId}});
    capture().session().drainSendQueue();
    EXPECT_EQ(m_client->getHeartBeatFailureCnt(), 0);
    m_loop.advance(kHeartbeatIntervalSeconds); // only the chain armed at login ticks
    capture().session().drainSendQueue();
    ASSERT_TRUE(m_console->waitFor("[PC00003]"));
    flushToConsole();
    EXPECT_EQ(m_console->count("[PC00003]"), 1u);
}

TEST_F(HeartbeatTest, RelaySessionSendsEnvelopedHeartbeatsWithTheSessionIds) {
    m_relay = std::make_unique<testsupport::RelayPeer>(testsupport::RelayPeer::Role::Session);
    ASSERT_TRUE(m_relay->start());
    useRelay(m_relay->port());
    startProcessor();
    login();
    m_client = client::gStudentClient();
    ASSERT_TRUE(m_client);
    ASSERT_TRUE(eventually([&] { return m_client->getRelayConnData().nConnId == 17; }));
    EXPECT_EQ(logCount("[ZQ]login success"), 1u);
    for (int n = 0; n < 2; ++n) {
        tick();
        auto heartbeat = m_relay->waitFor("[PC00003]");
        ASSERT_TRUE(heartbeat);
        ASSERT_TRUE(heartbeat->envelope);
        EXPECT_EQ(heartbeat->envelope->teacherConnId, 4u);
        EXPECT_EQ(heartbeat->envelope->connId, 17u);
        EXPECT_EQ(heartbeat->body.size(), 104u); // 13 + the 91-byte text command
        ASSERT_TRUE(eventually([&] { return m_client->getHeartBeatFailureCnt() == 0; }));
    }
    EXPECT_EQ(disconnects(), 0u);
}

} // namespace
} // namespace session::test
