// The login-time relay link against the scripted relay server: registration, the relay connection
// announcement with the learned identifiers, and its own check of the free slots.
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/PlatformTestSupport.h"
#include "support/RelayPeer.h"
#include "transport/TCP_RelayServer.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>

namespace {

using testsupport::RelayPeer;
using transport::TCP_RelayServer;

constexpr auto kWait = std::chrono::seconds(5);

// Collects the link's slot answers, posted on its receive thread.
class SlotAnswers {
public:
    explicit SlotAnswers(platform::NotificationCenter& center) : m_observers(center) {
        m_observers.add(TCP_RelayServer::kRelayReady, nullptr,
                        [this](const platform::Notification& note) { record("ready", note.sender); });
        m_observers.add(TCP_RelayServer::kRelayNotReady, nullptr, [this](const platform::Notification& note) {
            const platform::Dictionary* d = note.dictionary();
            record(d && d->count("ret") ? "ret " + d->at("ret") : "ret ?", note.sender);
        });
    }

    std::optional<std::string> next() {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, kWait, [this] { return !m_answers.empty(); }))
            return std::nullopt;
        std::string answer = m_answers.front();
        m_answers.erase(m_answers.begin());
        return answer;
    }
    std::size_t pending() {
        std::lock_guard lock(m_mutex);
        return m_answers.size();
    }
    const void* lastSender() {
        std::lock_guard lock(m_mutex);
        return m_sender;
    }

private:
    void record(std::string answer, const void* sender) {
        {
            std::lock_guard lock(m_mutex);
            m_answers.push_back(std::move(answer));
            m_sender = sender;
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_answers;
    const void* m_sender = nullptr;
    platform::ObserverSet m_observers;
};

class RelayLoginLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_relay.start()); }
    void TearDown() override {
        if (m_link) {
            m_link->close();
            m_link->removeNotification();
            m_link->JoinThreads();
        }
        m_relay.stop();
    }

    void connect(int slot, const std::string& teacherId = "T1") {
        m_link = TCP_RelayServer::create(m_center);
        ASSERT_TRUE(m_link->open());
        m_link->setConnectTimeout(5);
        m_link->setTeacherId(teacherId);
        m_link->setInputSlot(slot);
        ASSERT_TRUE(m_link->connect(m_relay.host(), m_relay.port()));
        ASSERT_TRUE(m_link->startReceiveThread());
        ASSERT_TRUE(m_link->startRequestThread());
    }

    platform::NotificationCenter m_center;
    SlotAnswers m_answers{m_center};
    RelayPeer m_relay{RelayPeer::Role::Session};
    std::shared_ptr<TCP_RelayServer> m_link;
};

TEST_F(RelayLoginLinkTest, RegistersAndAnnouncesTheRelayConnectionWithTheLearnedIdentifiers) {
    RelayPeer::SessionScript script;
    script.fr00002Params = "12,34";
    script.afterConnect = {};
    m_relay.setSessionScript(script);
    connect(5, "T1");

    const auto registration = m_relay.waitFor("[US00001]");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->text->text, "[US00001]T1,3.0.2.1008");
    EXPECT_EQ(registration->type(), 1);
    EXPECT_TRUE(registration->text->digestMatches);

    const auto announce = m_relay.waitFor("[PC_CONN]");
    ASSERT_TRUE(announce);
    // Envelope: type 13, teacher connection 34, student connection 12, then the inner length.
    ASSERT_GE(announce->body.size(), 13u);
    const std::vector<std::uint8_t> head(announce->body.begin(), announce->body.begin() + 9);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{13, 34, 0, 0, 0, 12, 0, 0, 0}));
    EXPECT_EQ(announce->envelope->inner[0], 1);
    EXPECT_EQ(m_link->relayConnData().nConnId, 12);
    EXPECT_EQ(m_link->relayConnData().nConnTeacherId, 34);
}

TEST_F(RelayLoginLinkTest, ConnectionIdsOfAnotherShapeKeepTheirValues) {
    RelayPeer::SessionScript script;
    script.fr00002Params = "12,34,56";
    script.afterConnect = {};
    m_relay.setSessionScript(script);
    connect(5);
    const auto announce = m_relay.waitFor("[PC_CONN]");
    ASSERT_TRUE(announce);
    ASSERT_TRUE(announce->envelope);
    EXPECT_EQ(announce->envelope->teacherConnId, 0u);
    EXPECT_EQ(announce->envelope->connId, 0u);
}

struct FreeSlotCase {
    const char* list;
    int slot;
    const char* answer;
};

TEST_F(RelayLoginLinkTest, FreeSlotListsGiveReadyOrTheRefusalKind) {
    const FreeSlotCase cases[] = {
        {"3,5,7", 5, "ready"},
        {"3,4", 5, "ret 1"},
        {"6,7", 5, "ret 2"},
        // One free slot comes without a comma; it is still the student's.
        {"5", 5, "ready"},
        {"4", 5, "ret 1"},
        {"9", 5, "ret 2"},
    };
    for (const FreeSlotCase& c : cases) {
        SCOPED_TRACE(c.list);
        RelayPeer::SessionScript script;
        script.afterConnect = {"[MV00094]2.0.11.57", std::string("[MV00007]") + c.list};
        m_relay.setSessionScript(script);
        connect(c.slot);
        EXPECT_EQ(m_answers.next(), c.answer);
        EXPECT_EQ(m_answers.lastSender(), static_cast<const transport::TCPConnection*>(m_link.get()));
        m_link->close();
        m_link->removeNotification();
        m_link->JoinThreads();
    }
}

TEST_F(RelayLoginLinkTest, TakesOnlyItsOwnRecords) {
    RelayPeer::SessionScript script;
    script.afterConnect = {};
    m_relay.setSessionScript(script);
    connect(5);
    ASSERT_TRUE(m_relay.waitFor("[PC_CONN]"));
    // The client relay link posts the same name; this link must leave that record alone.
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 1;
    record->strCode = "[MV00007]";
    record->strParams = "5";
    int other = 0;
    m_center.post("READ_MSG_MV00007_RELAY", &other, std::any(record));
    // Delivery is synchronous: a taken record would have been answered by now.
    EXPECT_EQ(m_answers.pending(), 0u);
    EXPECT_EQ(record.use_count(), 1);
    EXPECT_EQ(m_center.observerCount("READ_MSG_MV00007_RELAY"), 1u);
    m_link->removeNotification();
    EXPECT_EQ(m_center.observerCount("READ_MSG_MV00007_RELAY"), 0u);
}

// A relay server repeating its codes without end, its slot lists of many fields, writes a few lines
// a second of each kind, the lines let through counting the rest.
TEST_F(RelayLoginLinkTest, TenThousandOfEachCodeWriteAFewLinesThatCountTheRest) {
    constexpr int kRepeats = 10000;
    constexpr int kFields = 20;
    constexpr std::size_t kFewLines = 100;
    platform::ManualRunLoop loop;
    loop.install();
    RelayPeer::SessionScript script;
    script.afterConnect = {};
    m_relay.setSessionScript(script);
    connect(99);
    ASSERT_TRUE(m_relay.waitFor("[PC_CONN]"));
    std::string slots = "[MV00007]1";
    for (int field = 2; field <= kFields; ++field)
        slots += "," + std::to_string(field);
    // Each round ends with the slot list, whose answer says the link has handled the whole round.
    auto rounds = [&](int count) {
        for (int i = 0; i < count; ++i) {
            m_relay.sendText("[FR00002]12,34");
            m_relay.sendEnveloped("[MV00094]2.0.11.57");
            m_relay.sendEnveloped(slots);
        }
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(m_answers.next(), "ret 1");
    };
    // Lines held back before are told here, before the count starts.
    loop.advance(1.0);
    rounds(1);
    loop.advance(1.0);
    platform::testing::LogCapture log;
    rounds(kRepeats);
    loop.advance(1.0);
    rounds(1);
    const auto lines = log.lines();
    EXPECT_LT(lines.size(), kFewLines);
    using platform::testing::faultsLogged;
    constexpr std::uint64_t kRounds = kRepeats + 1;
    EXPECT_EQ(faultsLogged(lines, "receiveCallBack"), 3 * kRounds);
    EXPECT_EQ(faultsLogged(lines, "send:[PC_CONN]"), kRounds);
    EXPECT_EQ(faultsLogged(lines, "onReceivedMV00094 Called"), kRounds);
    EXPECT_EQ(faultsLogged(lines, "onReceivedMV00007 Called"), kRounds);
    EXPECT_EQ(faultsLogged(lines, "Data:1,2"), kRounds);
    EXPECT_EQ(faultsLogged(lines, "Find empty slot.. "), kFields * kRounds);
    EXPECT_EQ(faultsLogged(lines, "nEmptySlots < "), kRounds);
}

// The login window learns of a relay that went away from the link's one disconnect.
TEST_F(RelayLoginLinkTest, ALostLinkPostsItsOneDisconnect) {
    std::atomic<int> disconnects{0};
    platform::ObserverSet watch(m_center);
    const void* link = static_cast<const transport::TCPConnection*>(m_link.get());
    watch.add("READ_MSG_DISCONNECT", link, [&](const platform::Notification&) { ++disconnects; });
    RelayPeer::SessionScript script;
    script.afterConnect = {};
    m_relay.setSessionScript(script);
    connect(5);
    ASSERT_TRUE(m_relay.waitFor("[PC_CONN]"));
    m_relay.closeLink();
    m_link->JoinThreads();
    EXPECT_FALSE(m_link->isConnect());
    EXPECT_EQ(disconnects.load(), 1);
}

} // namespace
