// Every teacher command on both links: the state it sets, the event it posts, the replies it sends
// on the link it came from, and the record it leaves behind (released, not kept).
#include "CommandCases.h"
#include "client/ArchivedRecords.h"
#include "platform/PlatformTestSupport.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <iterator>
#include <optional>

namespace clienttest {
namespace {

using client::StudentClient;
using ::testing::ElementsAreArray;
namespace settings = client::settings;
namespace events = client::events;

// The text every case ends with, so everything the agent sent before it belongs to the case.
constexpr const char* kSentinelCode = "READ_MSG_MV00107";
constexpr const char* kSentinelReply = "[AN00004]";
std::vector<Case> allCases() {
    auto all = bothLinkCases();
    auto single = singleLinkCases();
    all.insert(all.end(), single.begin(), single.end());
    return all;
}

class CommandHandlers : public ClientFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(CommandHandlers, SetsStatePostsAndRepliesOnItsLink) {
    const Case& c = GetParam();
    if (c.link == Link::Direct)
        startDirect();
    else
        startRelay();
    std::size_t baseline = m_console->received().size();
    if (!c.preludeName.empty()) {
        deliverText(c.preludeName, c.link, c.preludeParams);
        baseline += c.preludeReplies;
        ASSERT_TRUE(m_console->waitForCount(baseline));
    }
    if (c.setup)
        c.setup(*m_client, *m_settings);
    const std::size_t postsBefore = posted().size();

    auto record = c.record ? c.record() : nullptr;
    if (!record) {
        record = std::make_shared<transport::SReceiveData>();
        record->nType = 1;
        record->strParams = c.params;
    }
    deliver(c.name, c.link, record);
    EXPECT_EQ(record.use_count(), 1) << "the handler kept the record";

    // Posts of this case, with the client as sender.
    auto all = posted();
    std::vector<std::pair<std::string, platform::Dictionary>> got;
    for (std::size_t i = postsBefore; i < all.size(); ++i) {
        EXPECT_EQ(all[i].sender, m_client.get());
        platform::Dictionary dictionary = all[i].dictionary;
        for (const auto& [key, value] :
             c.posts.size() > got.size() ? c.posts[got.size()].second : platform::Dictionary{})
            if (value == kAnyValue && dictionary.contains(key))
                dictionary[key] = kAnyValue;
        got.emplace_back(all[i].name, dictionary);
    }
    EXPECT_EQ(got, c.posts);
    if (c.check)
        c.check(*m_client, *m_settings);

    // Replies: everything up to the sentinel, on this case's link.
    const std::string sentinelName =
        c.link == Link::Direct ? kSentinelCode : std::string(kSentinelCode) + "_RELAY";
    deliverText(sentinelName, c.link, "true");
    std::vector<std::string> expected;
    const std::string prefix = c.link == Link::Direct ? "" : kRelayPrefix;
    for (const auto& reply : c.replies)
        expected.push_back(prefix + reply);
    expected.push_back(prefix + kSentinelReply);
    ASSERT_TRUE(m_console->waitForCount(baseline + expected.size()));
    auto descriptions = sentToConsole();
    std::vector<std::string> replies(descriptions.begin() + static_cast<long>(baseline), descriptions.end());
    EXPECT_THAT(replies, ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(EveryCode, CommandHandlers, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = std::to_string(info.index) + "_" + info.param.label +
                                                (info.param.link == Link::Direct ? "_direct" : "_relay");
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// Type 12 shown while the teacher's screen is shared is acknowledged with "[PC00025]".
TEST_F(ClientFixture, SharedScreenFrameIsAcknowledgedWithPC00025) {
    startDirect();
    deliverText("READ_MSG_MV00102", Link::Direct, "start");
    ASSERT_TRUE(m_console->waitForCount(1)); // the screen-format packet
    deliver("READ_MSG_COMBINED_DIB", Link::Direct, tilesRecord());
    ASSERT_TRUE(m_console->waitForCount(2));
    EXPECT_EQ(sentToConsole().back(), "[PC00025]42");
    auto shown = posted().back();
    ASSERT_EQ(shown.name, events::kScreenData);
    auto sample =
        client::ImageSample::unarchive(client::archiveFromText(shown.dictionary.at(events::kKeyCombinedDib)));
    ASSERT_TRUE(sample.has_value());
    EXPECT_EQ(sample->getScreenSeq(), 42);
    EXPECT_EQ(sample->getBitmapSize(), 4);
    EXPECT_EQ(sample->getScreenIndexArray(), (std::vector<std::int32_t>{3, 4, 9}));
}

// The file receiver reads the piece during the post; the piece is gone from the record afterwards
// and never reaches the settings file.
TEST_F(ClientFixture, FilePieceIsReadableDuringThePostAndStaysInMemory) {
    startDirect();
    std::optional<platform::Bytes> seen;
    auto token = m_center.addObserver(events::kFileData, nullptr, [&](const platform::Notification&) {
        seen = m_settings->data(client::settings::kArchivedFileData);
    });
    auto record = fileRecord();
    deliver("READ_MSG_FILE", Link::Direct, record);
    m_center.removeObserver(token);
    ASSERT_TRUE(seen.has_value());
    EXPECT_TRUE(client::FileSample::unarchive(*seen).has_value());
    EXPECT_TRUE(record->pFileData.empty());
    ASSERT_TRUE(m_settings->synchronize());
    std::ifstream file(m_settings->filePath());
    std::string onDisk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk.find(client::settings::kArchivedFileData), std::string::npos);
}

// The frame moves from the record into its archive (the record no longer holds it during the post),
// and no digest of it is taken or logged.
TEST_F(ClientFixture, H264FrameMovesIntoItsArchiveAndIsNotHashed) {
    startDirect();
    auto record = h264Record();
    std::size_t heldDuringThePost = 1;
    auto token = m_center.addObserver(events::kScreenH264Data, nullptr, [&](const platform::Notification&) {
        heldDuringThePost = record->pH264Data.size();
    });
    deliver("READ_MSG_H264", Link::Direct, record);
    m_center.removeObserver(token);
    EXPECT_EQ(heldDuringThePost, 0u);
    auto shown = posted().back();
    auto sample =
        client::H264Sample::unarchive(client::archiveFromText(shown.dictionary.at(events::kKeyH264)));
    ASSERT_TRUE(sample.has_value());
    EXPECT_EQ(sample->getScreenSeq(), 7);
    ASSERT_EQ(sample->getH264Size(), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(sample->getH264(), sample->getH264() + 5),
              (std::vector<std::uint8_t>{0, 0, 0, 1, 0x67}));
    for (const std::string& line : logLines())
        EXPECT_EQ(line.find("MD5"), std::string::npos) << line;
}

TEST_F(ClientFixture, KeyPacketIsLogged) {
    startDirect();
    deliver("READ_MSG_KEY", Link::Direct, keyRecord());
    auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[ZQ]KeyPacket 1 65 0 0 / a"), lines.end());
}

// A console repeating what the handlers log writes a few lines a second of each kind, the lines let
// through counting those held back; H.264 frames log nothing.
TEST_F(ClientFixture, TenThousandOfEachRepeatedPacketWriteAFewLinesThatCountTheRest) {
    constexpr int kRepeats = 10000;
    constexpr std::size_t kFewLines = 50;
    startDirect();
    const auto lines = linesOfRepeats(kRepeats, [&] {
        deliverText("READ_MSG_MV00264", Link::Direct, "false");
        deliver("READ_MSG_KEY", Link::Direct, keyRecord());
        deliver("READ_MSG_H264", Link::Direct, h264Record());
        deliverText("READ_MSG_MV00143", Link::Direct, "javascript:alert(1)");
    });
    using platform::testing::faultsLogged;
    EXPECT_LT(lines.size(), kFewLines);
    EXPECT_EQ(faultsLogged(lines, "MV00264 Received"), kRepeats + 1u);
    EXPECT_EQ(faultsLogged(lines, "[ZQ]KeyPacket"), kRepeats + 1u);
    EXPECT_EQ(faultsLogged(lines, "MD5"), 0u);
    EXPECT_EQ(faultsLogged(lines, "[ZQ]URL open failure."), kRepeats + 1u);
}

// The same on the relay link: its handshake and version codes, and a registration that cannot be
// sent because the name the console gave ("[MV00009]") makes it too long for its request.
TEST_F(ClientFixture, TenThousandOfEachRepeatedRelayCodeWriteAFewLinesThatCountTheRest) {
    constexpr int kRepeats = 10000;
    constexpr std::size_t kFewLines = 50;
    constexpr std::size_t kLongAlias = 300;
    startRelay("4", std::string(kLongAlias, 'k'));
    const auto lines = linesOfRepeats(kRepeats, [&] {
        deliverText("READ_MSG_MV00094_RELAY", Link::Relay, "2.0.11.57");
        deliverText("READ_MSG_FR00002_RELAY", Link::Relay, "17,4");
        deliverText("READ_MSG_MV00007_RELAY", Link::Relay, "4");
    });
    using platform::testing::faultsLogged;
    EXPECT_LT(lines.size(), kFewLines);
    EXPECT_EQ(faultsLogged(lines, "[ZQ_RELAY]onReceivedMV00094:2.0.11.57"), kRepeats + 1u);
    EXPECT_EQ(faultsLogged(lines, "send:[PC_CONN]"), kRepeats + 1u);
    EXPECT_EQ(faultsLogged(lines, "[ZQ]Command [PC00002] too long"), kRepeats + 1u);
}

// A strip stating more inflated bytes than anything may hold is refused, not the end of the link:
// it is acknowledged like any strip and the next command is answered, directly and relayed.
class StripPastTheInflateLimit : public ClientFixture, public ::testing::WithParamInterface<Link> {};

TEST_P(StripPastTheInflateLimit, IsAcknowledgedAndTheLinkAnswersOn) {
    const bool direct = GetParam() == Link::Direct;
    direct ? startDirect() : startRelay();
    const std::size_t baseline = m_console->received().size();
    auto send = [&](const Bytes& body) { m_console->sendBody(direct ? body : envelopeBody(4, 17, body)); };
    send(textBody("[MV00107]true"));
    // Type 12, raw length 64 MiB + 1, 12 compressed bytes, draw sequence 5: 25 bytes in all.
    const Bytes strip = {0x0C, 0x01, 0x00, 0x00, 0x04, 0x0C, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
                         0x78, 0x9C, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    ASSERT_EQ(strip.size(), 25u);
    send(strip);
    send(textBody("[MV00005]"));
    ASSERT_TRUE(m_console->waitForCount(baseline + 3));
    const std::string prefix = direct ? "" : kRelayPrefix;
    auto descriptions = sentToConsole();
    EXPECT_THAT(
        std::vector<std::string>(descriptions.begin() + static_cast<std::ptrdiff_t>(baseline),
                                 descriptions.end()),
        ElementsAreArray({prefix + "[AN00004]", prefix + "[AN00006]5", prefix + "[PC00004]1440,900"}));
    EXPECT_EQ(disconnects(), 0u);
    for (const Posted& p : posted())
        EXPECT_NE(p.name, events::kScreenData) << "a refused strip is not shown";
}

INSTANTIATE_TEST_SUITE_P(BothLinks, StripPastTheInflateLimit, ::testing::Values(Link::Direct, Link::Relay),
                         [](const ::testing::TestParamInfo<Link>& info) {
                             return info.param == Link::Direct ? std::string("direct") : std::string("relay");
                         });

struct UrlCase {
    const char* url;
    bool opened;
};

TEST_F(ClientFixture, OnlyWebAddressesAreOpened) {
    startDirect();
    const UrlCase kCases[] = {
        {"https://example.org/a?b=1", true}, {"HTTP://example.org", true}, {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},      {"https://", false},          {"", false}};
    for (const UrlCase& c : kCases) {
        m_loop.advance(1.0); // each case's line is the first of its second
        auto before = openedURLs().size();
        deliverText("READ_MSG_MV00143", Link::Direct, std::string(c.url) + ",second field");
        EXPECT_EQ(openedURLs().size() - before, c.opened ? 1u : 0u) << c.url;
        EXPECT_EQ(logLines().back(), c.opened ? "[ZQ]URL open success." : "[ZQ]URL open failure.") << c.url;
    }
    EXPECT_EQ(openedURLs().front(), "https://example.org/a?b=1");
}

// Each "[MV00143]" starts or wakes the student's browser: a console repeating it has a few addresses
// opened, the rest refused with a few lines that count them, and is heard again once the window has
// passed.
TEST_F(ClientFixture, AThousandURLCommandsOpenAFewAddresses) {
    constexpr int kCommands = 1000;
    constexpr std::size_t kFewOpenings = 5;
    constexpr double kWindowPassed = 10.0;
    startDirect();
    m_loop.advance(kWindowPassed);
    const std::size_t linesBefore = logLines().size();
    auto open = [&](const std::string& url) { deliverText("READ_MSG_MV00143", Link::Direct, url); };
    for (int i = 0; i < kCommands; ++i)
        open("https://example.org/" + std::to_string(i));
    const std::size_t opened = openedURLs().size();
    EXPECT_GE(opened, 1u);
    EXPECT_LE(opened, kFewOpenings);
    EXPECT_EQ(openedURLs().front(), "https://example.org/0");
    // A second later the window is still spent: the refusal's line counts those held back.
    m_loop.advance(1.0);
    open("https://example.org/spent");
    EXPECT_EQ(openedURLs().size(), opened);
    m_loop.advance(kWindowPassed);
    open("https://example.org/again");
    ASSERT_EQ(openedURLs().size(), opened + 1);
    EXPECT_EQ(openedURLs().back(), "https://example.org/again");
    const auto all = logLines();
    const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(linesBefore), all.end());
    EXPECT_LT(lines.size(), 2 * kFewOpenings + 4);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "[ZQ]URL open success."), opened + 1);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "[ZQ]URL open refused"), kCommands + 1 - opened);
}

// A command the relay table posts only with its own suffix never reaches a direct handler, and a
// post from some other sender (a login-time link) is not handled by the client.
TEST_F(ClientFixture, HandlersListenOnlyToTheirOwnLink) {
    startDirect();
    int other = 0;
    m_center.post("READ_MSG_MV00050", &other, std::any(std::make_shared<transport::SReceiveData>()));
    deliverText("READ_MSG_MV00050_RELAY", Link::Direct, "true");
    EXPECT_TRUE(posted().empty());
}

// A client made over empty settings targets the console's defaults, identifies the student as
// login does, and does not connect without a stored console address.
TEST_F(ClientFixture, EmptySettingsGiveTheDefaultConsoleAndStudent) {
    m_client = client::StudentClient::create(m_center);
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    EXPECT_EQ(info.m_szLanguage.get(), "Kor");
    EXPECT_EQ(info.m_nClientKind.load(), 3);
    EXPECT_EQ(info.m_nOsKind.load(), 3);
    EXPECT_EQ(info.m_szOsKind.get(), "apple");
    EXPECT_EQ(info.m_szServerIp.get(), "0.0.0.0");
    EXPECT_EQ(info.m_szServerPort.get(), "10240");
    EXPECT_EQ(info.m_szConnectPort.get(), "10240");
    EXPECT_EQ(info.m_szAlias.get(), "Default alias");
    EXPECT_EQ(info.m_nInputSlot.load(), 0);
    EXPECT_NE(m_client->getMVConn(), nullptr);
    EXPECT_EQ(m_client->getRelayConn(), nullptr);
    EXPECT_FALSE(m_client->connectToServer());
}

// The client's initial upload state before any command.
TEST_F(ClientFixture, InitialState) {
    m_client = client::StudentClient::create(m_center);
    EXPECT_EQ(m_client->getRefreshDelay(), 300);
    EXPECT_FLOAT_EQ(m_client->getfQuality(), 0.4f);
    EXPECT_FALSE(m_client->getRemoteView());
    EXPECT_TRUE(m_client->getRemoteViewFirst());
    EXPECT_FALSE(m_client->getScreenShared());
    EXPECT_FALSE(m_client->getAnswer());
    EXPECT_FALSE(m_client->getRemoteSeqProcess());
    EXPECT_FALSE(m_client->getPreventApp());
    EXPECT_FALSE(m_client->getH264RemoteScreen());
    EXPECT_EQ(m_client->getScreenUploadStatus(), 0);
    EXPECT_EQ(m_client->getHeartBeatFailureCnt(), 0);
    EXPECT_EQ(m_client->getRelayConnData().nConnId, 0);
    EXPECT_EQ(m_client->getRelayConnData().nConnTeacherId, 0);
}

} // namespace
} // namespace clienttest
