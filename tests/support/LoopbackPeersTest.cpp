// The scripted console and relay peers, driven by a raw client that writes hand-made frames.
#include "support/ConsolePeer.h"
#include "support/FullBacklogListener.h"
#include "support/RawClient.h"
#include "support/RelayPeer.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace testsupport {
namespace {

Bytes textFrame(const std::string& text) {
    return frame(*textBody(text));
}

TEST(ConsolePeerTest, GreetsWithVersionAndSlotsAndAnswersTheHeartbeat) {
    ConsolePeer console;
    console.setVersion("3.0.2.1008");
    ASSERT_TRUE(console.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(console.port()));

    auto version = client.readText();
    ASSERT_TRUE(version);
    EXPECT_EQ(version->code, "[MV00094]");
    EXPECT_EQ(version->params, "3.0.2.1008");
    auto slots = client.readText();
    ASSERT_TRUE(slots);
    EXPECT_EQ(slots->text, "[MV00007]1,2,3");

    ASSERT_TRUE(client.send(textFrame("[PC00003]")));
    const auto answer = client.readText();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->code, "[MV10002]");

    const auto heartbeat = console.waitFor("[PC00003]");
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->link, 0u);
    EXPECT_TRUE(heartbeat->text->digestMatches);
    // Taken once: a second wait finds nothing new.
    EXPECT_FALSE(console.waitFor("[PC00003]", std::chrono::milliseconds(0)));
    EXPECT_EQ(console.count("[PC00003]"), 1u);
}

TEST(ConsolePeerTest, SilentConsoleLeavesTheHeartbeatUnanswered) {
    ConsolePeer console;
    console.setFreeSlots(std::nullopt);
    console.setHeartbeatAnswers(false);
    ASSERT_TRUE(console.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(console.port()));

    ASSERT_TRUE(client.send(textFrame("[PC00003]")));
    ASSERT_TRUE(console.waitFor("[PC00003]"));
    // Handlers run before a packet is visible, so an answer would already be on its way.
    ASSERT_TRUE(console.sendText("[MV00050]true"));
    const auto next = client.readText();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text, "[MV00050]true");
}

TEST(ConsolePeerTest, RecordsBinaryBodiesAndScriptedReplies) {
    ConsolePeer console;
    console.setFreeSlots("5");
    console.setReplies("[PC00002]", {"[MV00001]160,120,3", "[MV00050]false"});
    ASSERT_TRUE(console.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(console.port()));
    ASSERT_EQ(client.readText()->text, "[MV00007]5");

    // Two frames in one write: the peer must split the stream itself.
    Bytes both = textFrame("[PC00002]5,Kim,0,0,0,0,false");
    const Bytes format = frame(Bytes{kBodyScreenFormat, 0x80, 7, 0, 0, 0x38, 4, 0, 0, 32, 0, 0, 0});
    both.insert(both.end(), format.begin(), format.end());
    ASSERT_TRUE(client.send(both));

    EXPECT_EQ(client.readText()->text, "[MV00001]160,120,3");
    EXPECT_EQ(client.readText()->text, "[MV00050]false");
    const auto registration = console.waitFor("[PC00002]");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->params(), "5,Kim,0,0,0,0,false");
    const auto screen = console.waitForBody(kBodyScreenFormat);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->body.size(), 13u);
}

TEST(ConsolePeerTest, EndsTheLinkOnABrokenFrameAndSeesTheAgentClose) {
    ConsolePeer console;
    console.setFreeSlots(std::nullopt);
    ASSERT_TRUE(console.start());

    RawClient broken;
    ASSERT_TRUE(broken.connectTo(console.port()));
    ASSERT_TRUE(broken.send(Bytes{0xA1, 0xA0, 0xA0, 0x00, 6, 0, 0, 0, 2, 0}));
    EXPECT_TRUE(broken.readsEndOfStream());
    EXPECT_TRUE(console.waitForClosed(0));

    RawClient second;
    ASSERT_TRUE(second.connectTo(console.port()));
    ASSERT_TRUE(console.waitForLinks(2));
    ASSERT_TRUE(second.send(textFrame("[PC00003]")));
    const auto heartbeat = console.waitFor("[PC00003]");
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->link, 1u);
    EXPECT_EQ(second.readText()->code, "[MV10002]");
    second.close();
    EXPECT_TRUE(console.waitForClosed(1));
    EXPECT_FALSE(console.sendText("[MV00050]true", 1));
}

TEST(ConsolePeerTest, ClosingALinkEndsTheAgentsStream) {
    ConsolePeer console;
    console.setFreeSlots(std::nullopt);
    ASSERT_TRUE(console.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(console.port()));
    ASSERT_TRUE(console.waitForLinks(1));
    console.closeLink();
    EXPECT_TRUE(client.readsEndOfStream());
}

// A peer without a script, as the client suites' console: it counts every packet, taken or not,
// and stamps each with the clock it was given (the suites' virtual clock).
TEST(ScriptedPeerTest, CountsEveryPacketAndStampsItWithTheGivenClock) {
    ScriptedPeer console("console");
    std::atomic<double> now{0.0};
    console.setClock([&now] { return now.load(); });
    ASSERT_TRUE(console.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(console.port()));
    ASSERT_TRUE(console.waitForLinks(1));

    ASSERT_TRUE(client.send(textFrame("[PC00017]3.0.2.1008")));
    ASSERT_TRUE(console.waitForCount(1));
    now = 2.5;
    Bytes two = textFrame("[PC00029]3,apple,Reserved");
    const Bytes heartbeat = textFrame("[PC00003]");
    two.insert(two.end(), heartbeat.begin(), heartbeat.end());
    ASSERT_TRUE(client.send(two));
    ASSERT_TRUE(console.waitForCount(3));
    ASSERT_TRUE(console.waitFor("[PC00003]"));
    EXPECT_TRUE(console.waitForCount(3, std::chrono::milliseconds(0))) << "a taken packet still counts";
    EXPECT_FALSE(console.waitForCount(4, std::chrono::milliseconds(0)));

    const auto got = console.received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].arrivedAt, 0.0);
    EXPECT_EQ(got[1].arrivedAt, 2.5);
    EXPECT_EQ(got[2].arrivedAt, 2.5);
    EXPECT_EQ(got[1].params(), "3,apple,Reserved");
}

TEST(RelayPeerTest, SessionHandshakeHandsOutConnectionIdsAndSpeaksInEnvelopes) {
    RelayPeer relay(RelayPeer::Role::Session);
    ASSERT_TRUE(relay.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(relay.port()));

    EXPECT_EQ(client.readText()->text, "[FR00001]");
    ASSERT_TRUE(client.send(textFrame("[US00001]T1,3.0.2.1008")));
    EXPECT_EQ(client.readText()->text, "[FR00002]17,4");

    ASSERT_TRUE(client.send(frame(envelopeBody(4, 17, *textBody("[PC_CONN]")))));
    const auto slots = client.readFrame();
    ASSERT_TRUE(slots);
    const auto envelope = parseEnvelope(slots->body);
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->teacherConnId, 4u);
    EXPECT_EQ(envelope->connId, 17u);
    EXPECT_EQ(parseTextBody(envelope->inner)->text, "[MV00007]1,2,3");

    ASSERT_TRUE(client.send(frame(envelopeBody(4, 17, *textBody("[PC00003]")))));
    const auto answer = client.readFrame();
    ASSERT_TRUE(answer);
    EXPECT_EQ(parseTextBody(parseEnvelope(answer->body)->inner)->code, "[MV10002]");

    const auto connect = relay.waitFor("[PC_CONN]");
    ASSERT_TRUE(connect);
    ASSERT_TRUE(connect->envelope);
    EXPECT_EQ(connect->type(), kBodyEnvelope);
    EXPECT_EQ(connect->payloadType(), kBodyText);
}

TEST(RelayPeerTest, LoginRoleAnswersTheRegistrationWithBothAddresses) {
    RelayPeer relay(RelayPeer::Role::Login);
    RelayPeer::LoginScript script;
    script.teacherPort = "10240";
    script.fallbackIp = "127.0.0.1";
    script.fallbackPort = "7000";
    relay.setLoginScript(script);
    ASSERT_TRUE(relay.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(relay.port()));

    EXPECT_EQ(client.readText()->text, "[UR00001]0,0,0,0,0,0");
    ASSERT_TRUE(client.send(textFrame("[US00001]3,T1,127.0.0.1,5000,3.0.2.1008,3,apple,6.1.0")));
    EXPECT_EQ(client.readText()->text, "[UR00004]127.0.0.1,7000");
    EXPECT_EQ(client.readText()->text, "[UR00002]0,0,0,0,127.0.0.1,10240,0");
    EXPECT_EQ(relay.waitFor("[US00001]")->params(), "3,T1,127.0.0.1,5000,3.0.2.1008,3,apple,6.1.0");
}

TEST(RelayPeerTest, LoginRoleReportsAnErrorCode) {
    RelayPeer relay(RelayPeer::Role::Login);
    RelayPeer::LoginScript script;
    script.resultCode = "5";
    relay.setLoginScript(script);
    ASSERT_TRUE(relay.start());
    RawClient client;
    ASSERT_TRUE(client.connectTo(relay.port()));
    EXPECT_EQ(client.readText()->text, "[UR00001]5,0,0,0,0,0");
}

TEST(FullBacklogListenerTest, ConnectToItStaysPending) {
    FullBacklogListener listener;
    ASSERT_TRUE(listener.start());
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(listener.port());
    const int rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ASSERT_EQ(rc, -1);
    EXPECT_EQ(waitWritable(fd.get(), -1, 200), WaitResult::TimedOut);
}

} // namespace
} // namespace testsupport
