// The client's typed sends, the one place a packet meets a link: a direct and a relayed session
// each send a file piece, a heartbeat, a screen image, a stroke and an H.264 frame, and the scripted
// peer sees the same body, laid out by hand, plain on the direct link and inside an envelope with
// the session's ids on the relay. Strokes and H.264 frames have no relay form.
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "support/ClientTeardown.h"
#include "support/ConsolePeer.h"
#include "support/RelayPeer.h"
#include "transport/GoldenWire.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace client::test {
namespace {

using golden::Bytes;
using Link = StudentClient::Link;
constexpr std::uint32_t kConnId = 17; // the relay peer's session ids
constexpr std::uint32_t kTeacherConnId = 4;
// The file chunk's first field, which the receiver does not read.
constexpr std::uint32_t kFileChunkConstant = 3;
// Long enough for a packet that was queued to reach the peer on loopback.
constexpr std::chrono::milliseconds kNothingArrives{300};

Bytes filePieceBody(const std::string& name, std::int32_t total, std::int32_t seq, const Bytes& data) {
    Bytes body{testsupport::kBodyFile};
    golden::PutU32(body, kFileChunkConstant);
    golden::PutU32(body, static_cast<std::uint32_t>(total));
    golden::PutU32(body, static_cast<std::uint32_t>(seq));
    golden::PutU32(body, static_cast<std::uint32_t>(name.size()));
    for (char c : name)
        golden::PutU16(body, static_cast<std::uint16_t>(c));
    golden::PutU32(body, static_cast<std::uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

// The 53-byte image header: sequence at 21, width, height and the size twice from 37.
Bytes screenImageBody(std::uint32_t seq, std::uint32_t width, std::uint32_t height, const Bytes& jpeg) {
    Bytes body{testsupport::kBodyImage};
    body.resize(21, 0);
    golden::PutU32(body, seq);
    body.resize(37, 0);
    for (std::uint32_t v :
         {width, height, static_cast<std::uint32_t>(jpeg.size()), static_cast<std::uint32_t>(jpeg.size())})
        golden::PutU32(body, v);
    body.insert(body.end(), jpeg.begin(), jpeg.end());
    return body;
}

class TypedSends : public ::testing::TestWithParam<Link> {
protected:
    void SetUp() override {
        m_loop.install();
        GlobalConfig::shared().resetForTesting();
        gStudentSessionInfo().resetForTesting();
        if (relayed()) {
            m_peer = std::make_unique<testsupport::RelayPeer>(testsupport::RelayPeer::Role::Session);
            ASSERT_TRUE(m_peer->start());
            GlobalConfig& config = GlobalConfig::shared();
            config.setIsRelayEnabled(true);
            config.setStrTeacherId("teacher01");
            config.setStrRelayIp(m_peer->host());
            config.setStrRelayPort(std::to_string(m_peer->port()));
            fillStudentIdentity(gStudentSessionInfo());
        } else {
            auto console = std::make_unique<testsupport::ConsolePeer>();
            console->setFreeSlots(std::nullopt); // its handler waits a second on the main clock
            ASSERT_TRUE(console->start());
            auto settings = platform::UserDefaults::suite();
            settings->setString(settings::kServerIp, console->host());
            settings->setString(settings::kServerPort, std::to_string(console->port()));
            m_peer = std::move(console);
        }
        m_client = StudentClient::create();
        ASSERT_EQ(m_client->sessionLink(), GetParam());
        ASSERT_TRUE(m_client->connectSession());
        ASSERT_TRUE(m_peer->waitForLinks(1));
        // The relay's ids are stored before "[PC_CONN]" goes out.
        if (relayed()) {
            ASSERT_TRUE(m_peer->waitFor("[PC_CONN]"));
        }
    }
    void TearDown() override {
        testsupport::endClient(m_client);
        if (m_peer)
            m_peer->stop();
        GlobalConfig::shared().resetForTesting();
    }
    bool relayed() const { return GetParam() == Link::Relay; }
    // The body of the next packet of that type, unwrapped; the envelope must carry the session's ids.
    Bytes received(std::uint8_t type) { return unwrapped(m_peer->waitForBody(type)); }
    Bytes unwrapped(const std::optional<testsupport::PeerPacket>& packet) {
        EXPECT_TRUE(packet);
        if (!packet)
            return {};
        EXPECT_EQ(packet->envelope.has_value(), relayed());
        if (packet->envelope) {
            EXPECT_EQ(packet->envelope->connId, kConnId);
            EXPECT_EQ(packet->envelope->teacherConnId, kTeacherConnId);
        }
        return packet->payload();
    }

    platform::ManualRunLoop m_loop;
    std::unique_ptr<testsupport::ScriptedPeer> m_peer;
    std::shared_ptr<StudentClient> m_client;
};

TEST_P(TypedSends, AFilePieceGoesOutOnTheSessionsLink) {
    const Bytes data = {1, 2, 3};
    const std::string name = "a.txt";
    ASSERT_TRUE(m_client->sendFilePiece({data.data(), 3, name, 4, 2}));
    EXPECT_EQ(received(testsupport::kBodyFile), filePieceBody(name, 4, 2, data));
    // The closing piece carries no bytes.
    ASSERT_TRUE(m_client->sendFilePiece({nullptr, 0, name, 4, 4}));
    EXPECT_EQ(received(testsupport::kBodyFile), filePieceBody(name, 4, 4, {}));
}

TEST_P(TypedSends, AHeartbeatGoesOutOnItsChainsLink) {
    ASSERT_TRUE(m_client->sendHeartbeat(m_client->sessionLink()));
    EXPECT_EQ(unwrapped(m_peer->waitFor("[PC00003]")), golden::kPC00003Body);
    // The other chain's link is not this session's: nothing goes.
    EXPECT_FALSE(m_client->sendHeartbeat(relayed() ? Link::Direct : Link::Relay));
}

TEST_P(TypedSends, AScreenImageIsSequencedDirectAndZeroOnTheRelay) {
    const Bytes jpeg = {0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9};
    ASSERT_TRUE(m_client->sendScreenImage({jpeg.data(), jpeg.size(), 320, 240, 77}));
    // The relay carries no acknowledgements.
    EXPECT_EQ(received(testsupport::kBodyImage), screenImageBody(relayed() ? 0 : 77, 320, 240, jpeg));
    ASSERT_TRUE(m_client->sendScreenImage({jpeg.data(), jpeg.size(), 160, 120, std::nullopt}));
    EXPECT_EQ(received(testsupport::kBodyImage), screenImageBody(0, 160, 120, jpeg));
}

TEST_P(TypedSends, AFlowControlQueueIsHandedTheSessionsConnection) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xD9};
    const transport::TCPConnection* handed = nullptr;
    auto refuse = [&](const std::shared_ptr<transport::TCPConnection>& link,
                      std::unique_ptr<transport::SRequestData>) {
        handed = link.get();
        return false;
    };
    EXPECT_FALSE(m_client->sendScreenImage({jpeg.data(), jpeg.size(), 8, 8, 1}, refuse));
    EXPECT_EQ(handed, m_client->sessionConnection().get());
    EXPECT_TRUE(m_client->isLinkSender(handed));
    EXPECT_FALSE(m_client->isLinkSender(m_client.get()));
    EXPECT_FALSE(m_peer->waitForBody(testsupport::kBodyImage, kNothingArrives));
}

TEST_P(TypedSends, StrokesAndH264FramesGoOnlyOnTheDirectLink) {
    transport::StrokeData stroke;
    stroke.nSlot = 5;
    stroke.nTool = 4;
    stroke.nThickness = 8;
    stroke.nThicknessMode = 2;
    stroke.bBlend = true;
    stroke.nColor = 0x00FF00FF;
    stroke.points = {{1, 2}, {-3, 4}};
    const Bytes frame = {0, 0, 0, 1, 0x67};
    EXPECT_EQ(m_client->sendStrokePackets({stroke, stroke}), relayed() ? 0u : 2u);
    EXPECT_EQ(m_client->sendH264Frame(frame.data(), frame.size(), 9), !relayed());
    if (relayed()) {
        EXPECT_FALSE(m_peer->waitForBody(testsupport::kBodyStroke, kNothingArrives));
        EXPECT_FALSE(m_peer->waitForBody(testsupport::kBodyH264, kNothingArrives));
        return;
    }
    Bytes strokeBody = {testsupport::kBodyStroke};
    for (std::uint32_t v : {5u, 4u, 8u, 2u})
        golden::PutU32(strokeBody, v);
    strokeBody.insert(strokeBody.end(), {1, 0, 0, 0});
    golden::PutU32(strokeBody, 0x00FF00FF);
    golden::PutU32(strokeBody, 2);
    for (std::int32_t v : {1, 2, -3, 4})
        golden::PutU32(strokeBody, static_cast<std::uint32_t>(v));
    EXPECT_EQ(received(testsupport::kBodyStroke), strokeBody);
    EXPECT_EQ(received(testsupport::kBodyStroke), strokeBody);
    Bytes frameBody = {testsupport::kBodyH264};
    for (std::uint32_t v : {5u, 9u, 0u})
        golden::PutU32(frameBody, v);
    frameBody.insert(frameBody.end(), frame.begin(), frame.end());
    EXPECT_EQ(received(testsupport::kBodyH264), frameBody);
}

INSTANTIATE_TEST_SUITE_P(Sessions, TypedSends, ::testing::Values(Link::Direct, Link::Relay),
                         [](const ::testing::TestParamInfo<Link>& info) {
                             return std::string(info.param == Link::Relay ? "Relayed" : "Direct");
                         });

} // namespace
} // namespace client::test
