// A session on either capture object: a login that went through the relay gets a working relay
// session (enveloped heartbeat, thumbnails, live view) whichever object captures, and a session
// that cannot start tells the student through the lost-link road, with a log line, instead of
// ending the agent quietly.
#include "support/CaptureFixture.h"
#include "support/ConsolePeer.h"
#include "support/FullBacklogListener.h"
#include "support/PeerSocket.h"
#include "support/RelayPeer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace streaming::test {
namespace {

constexpr std::uint8_t kScreenImageType = 7;
constexpr std::uint8_t kEnvelopeType = 13;
constexpr std::uint32_t kStudentConnId = 17; // the relay peer's defaults
constexpr std::uint32_t kTeacherConnId = 4;

enum class Path { Processor, Daemon };

std::string pathName(const ::testing::TestParamInfo<Path>& info) {
    return info.param == Path::Processor ? "Processor" : "Daemon";
}

// A loopback port nobody listens on: connects are refused at once.
std::uint16_t closedPort() {
    static const testsupport::RefusedPort refused; // held for the whole run
    return refused.port();
}

class SessionPaths : public CaptureFixture, public ::testing::WithParamInterface<Path> {
protected:
    void TearDown() override {
        CaptureFixture::TearDown();
        m_relay.reset();
    }
    void startPath() { GetParam() == Path::Processor ? startProcessor() : startDaemon(); }
    const void* captureSender() const {
        return GetParam() == Path::Processor ? static_cast<const void*>(m_capture.processor.get())
                                             : static_cast<const void*>(m_capture.daemon.get());
    }
    static void expectEnvelope(const testsupport::PeerPacket& packet) {
        ASSERT_TRUE(packet.envelope);
        ASSERT_GE(packet.body.size(), 13u);
        EXPECT_EQ(packet.body[0], kEnvelopeType);
        EXPECT_EQ(packet.envelope->teacherConnId, kTeacherConnId);
        EXPECT_EQ(packet.envelope->connId, kStudentConnId);
    }

    std::unique_ptr<testsupport::RelayPeer> m_relay;
};

TEST_P(SessionPaths, RelayLoginGetsAWorkingRelaySession) {
    m_relay = std::make_unique<testsupport::RelayPeer>(testsupport::RelayPeer::Role::Session);
    ASSERT_TRUE(m_relay->start());
    useRelay(m_relay->port());
    startPath();
    login();
    auto studentClient = client::gStudentClient();
    ASSERT_TRUE(studentClient);
    EXPECT_EQ(m_handedOver, studentClient);
    ASSERT_TRUE(eventually([&] { return studentClient->getRelayConnData().nConnId == 17; }));
    ASSERT_TRUE(m_relay->waitFor("[PC_CONN]"));
    EXPECT_EQ(logCount("[ZQ]login success"), 1u);

    m_loop.advance(session::kHeartbeatIntervalSeconds);
    capture().session().drainSendQueue();
    auto heartbeat = m_relay->waitFor("[PC00003]");
    ASSERT_TRUE(heartbeat);
    expectEnvelope(*heartbeat);
    ASSERT_TRUE(eventually([&] { return studentClient->getHeartBeatFailureCnt() == 0; }));

    m_relay->sendEnveloped("[MV00001]160,120,0,40");
    ASSERT_TRUE(eventually([] { return client::gStudentSessionInfo().m_nThumbHeight.load() == 120; }));
    deliverTicks(1);
    auto thumb = m_relay->waitForBody(kScreenImageType);
    ASSERT_TRUE(thumb);
    expectEnvelope(*thumb);

    m_relay->sendEnveloped("[MV00004]");
    ASSERT_TRUE(eventually([&] { return studentClient->getRemoteView(); }));
    deliverTicks(3);
    auto notice = m_relay->waitFor("[PC00004]");
    ASSERT_TRUE(notice);
    expectEnvelope(*notice);
    EXPECT_EQ(notice->params(), "1440,900");
    auto live = m_relay->waitForBody(kScreenImageType);
    ASSERT_TRUE(live);
    expectEnvelope(*live);

    EXPECT_TRUE(m_terminations.empty());
    EXPECT_EQ(disconnects(), 0u);
}

TEST_P(SessionPaths, ASessionThatCannotStartTakesTheLostLinkRoadWithAReason) {
    enum class Setup {
        NoAddress,
        RefusedAddress,
        RefusedConnect,
        SilentConsole,
        RefusedRelayAddress,
        RefusedRelayConnect,
        SilentRelay
    };
    struct Case {
        const char* what;
        Setup setup;
        std::string logPrefix;
        double connectTimeOut = 0.0; // seconds a connect to a peer that never answers takes
    };
    // A listener whose backlog is full: a connect to it waits until its time-out.
    testsupport::FullBacklogListener silent;
    ASSERT_TRUE(silent.start());
    const Case cases[] = {
        {"direct, no address stored", Setup::NoAddress, "[ZQ]Direct session could not start: no teacher"},
        {"direct, refused address", Setup::RefusedAddress,
         "[ZQ]Direct session could not start: teacher address 0.0.0.0"},
        {"direct, connect refused", Setup::RefusedConnect,
         "[ZQ]Direct session could not start: connect to 127.0.0.1"},
        {"direct, console never answers", Setup::SilentConsole,
         "[ZQ]Direct session could not start: connect to 127.0.0.1", 7.0},
        {"relay, refused address", Setup::RefusedRelayAddress,
         "[ZQ_RELAY]Relay session could not start: relay address not-an-address"},
        {"relay, connect refused", Setup::RefusedRelayConnect,
         "[ZQ_RELAY]Relay session could not start: relay connect to 127.0.0.1"},
        {"relay, relay never answers", Setup::SilentRelay,
         "[ZQ_RELAY]Relay session could not start: relay connect to 127.0.0.1", 4.0},
    };
    const auto configure = [this, &silent](Setup setup) {
        switch (setup) {
        case Setup::NoAddress:
            break;
        case Setup::RefusedAddress:
            m_settings->setString(client::settings::kServerIp, "0.0.0.0");
            m_settings->setString(client::settings::kServerPort, "10240");
            break;
        case Setup::RefusedConnect:
            useDirectConsole(closedPort());
            break;
        case Setup::RefusedRelayAddress:
            useRelay(1);
            client::GlobalConfig::shared().setStrRelayIp("not-an-address");
            break;
        case Setup::RefusedRelayConnect:
            useRelay(closedPort());
            break;
        case Setup::SilentConsole:
            useDirectConsole(silent.port());
            break;
        case Setup::SilentRelay:
            useRelay(silent.port());
            break;
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        configure(c.setup);
        startPath();
        const auto started = std::chrono::steady_clock::now();
        login();
        ASSERT_TRUE(m_loop.runUntil([this] { return disconnects() == 1u; }, 15.0));
        if (c.connectTimeOut > 0.0) {
            // The socket's time-out runs on the wall clock.
            const double waited =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            EXPECT_GE(waited, c.connectTimeOut - 0.1);
            EXPECT_LT(waited, c.connectTimeOut + 4.0);
        }
        ASSERT_EQ(disconnects(), 1u);
        EXPECT_EQ(disconnectSenders()[0], captureSender());
        EXPECT_TRUE(m_terminations.empty());
        EXPECT_EQ(m_handedOver, client::gStudentClient()); // handed over before connecting
        const auto lines = logLines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [&](const std::string& line) { return line.rfind(c.logPrefix, 0) == 0; }))
            << "no line starting " << c.logPrefix;
        TearDown();
        SetUp();
    }
}

// A second login replaces the client: the old client's links end and post their disconnect. The
// main window, which reports the session lost for a disconnect of its current client's links,
// must already hold the new client by then.
TEST_P(SessionPaths, ASecondLoginNeverTakesTheOldLinksDisconnectForItsOwn) {
    testsupport::ConsolePeer console;
    console.setFreeSlots(std::nullopt);
    ASSERT_TRUE(console.start());
    useDirectConsole(console.port());
    startPath();

    std::mutex lock;
    std::condition_variable changed;
    std::shared_ptr<client::StudentClient> current; // as the main window holds it
    const void* oldLink = nullptr;
    bool oldLinkEnded = false;
    int takenForCurrent = 0;
    platform::ObserverSet watch(m_center);
    watch.add(client::events::kDisconnect, nullptr, [&](const platform::Notification& note) {
        std::lock_guard guard(lock);
        if (current && current->getMVConn() &&
            note.sender == static_cast<const transport::TCPConnection*>(current->getMVConn().get()))
            ++takenForCurrent;
        oldLinkEnded = oldLinkEnded || note.sender == oldLink;
        changed.notify_all();
    });
    capture().setClientHandoff([&](const std::shared_ptr<client::StudentClient>& handed) {
        std::unique_lock guard(lock);
        // When the old client is already gone, its links' end is under way: let it arrive before
        // the window learns the new client, as a busy main thread would.
        if (current && client::gStudentClient() == handed)
            changed.wait_for(guard, std::chrono::milliseconds(250), [&] { return oldLinkEnded; });
        current = handed;
    });

    login();
    ASSERT_TRUE(console.waitForLinks(1));
    {
        std::lock_guard guard(lock);
        ASSERT_TRUE(current);
        oldLink = static_cast<const transport::TCPConnection*>(current->getMVConn().get());
    }
    login();
    ASSERT_TRUE(console.waitForLinks(2));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard guard(lock);
        return oldLinkEnded;
    }));
    std::lock_guard guard(lock);
    EXPECT_EQ(takenForCurrent, 0);
    EXPECT_EQ(current, client::gStudentClient());
}

INSTANTIATE_TEST_SUITE_P(BothCaptureObjects, SessionPaths, ::testing::Values(Path::Processor, Path::Daemon),
                         pathName);

} // namespace
} // namespace streaming::test
