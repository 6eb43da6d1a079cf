// Outgoing commands on the right link, and texts too long for their request refused unsent.
#include "ClientFixture.h"
#include "client/CommandCatalogue.h"

#include <gmock/gmock.h>

namespace clienttest {
namespace {

using client::StudentClient;
using ::testing::ElementsAre;

// The largest text a 512-byte request holds: 73 + 2 x 219 = 511 bytes.
constexpr std::size_t kMaxCommandUnits = 219;
// The chat request holds the longest line the chat window lets through: 511 commas, each widened
// to "&comma;", a line feed, the code and ",5000": 3592 units, 73 + 2 x 3592 = 7257 bytes.
constexpr std::size_t kMaxChatUnits = 3592;
constexpr std::size_t kCodeUnits = 9;
constexpr std::size_t kChatSuffixUnits = 5; // ",5000"

class Catalogue : public ClientFixture {
protected:
    // Sends a marker, so every frame before it belongs to what the test did.
    std::vector<std::string> sentUntilMarker(Link link = Link::Direct) {
        EXPECT_TRUE(m_client->sendCommand(client::command::kHeartbeat, link));
        std::size_t count = 0;
        for (;; ++count) {
            if (!m_console->waitForCount(count + 1))
                break;
            auto all = sentToConsole();
            if (all.back().ends_with(client::command::kHeartbeat))
                break;
        }
        auto all = sentToConsole();
        all.pop_back();
        return all;
    }
    void chat(const std::string& line) {
        m_center.post(client::events::kStudentChat, nullptr, platform::Dictionary{{"chat", line}});
    }
};

TEST_F(Catalogue, LinkChoiceOnADirectSession) {
    startDirect();
    EXPECT_TRUE(m_client->sendCommand("[PC00037]", Link::Direct));
    EXPECT_TRUE(m_client->sendCommand("[PC00010]", Link::ByConfiguration));
    EXPECT_FALSE(m_client->sendCommand("[PC00004]1,2", Link::Relay)) << "no relay link in this session";
    chat("hi, there");
    EXPECT_THAT(sentUntilMarker(), ElementsAre("[PC00037]", "[PC00010]", "[PC00015]hi, there,5000"));
}

TEST_F(Catalogue, LinkChoiceOnARelaySession) {
    startRelay();
    EXPECT_FALSE(m_client->sendCommand("[PC00147]", Link::Direct))
        << "note-tool commands need the direct link";
    EXPECT_TRUE(m_client->sendCommand("[PC00010]", Link::ByConfiguration));
    EXPECT_TRUE(m_client->sendCommand(client::command::relayLogin("t1"), Link::RelayUnwrapped));
    chat("hi");
    m_center.post(client::events::kMouseData, nullptr, platform::Dictionary{{"mouseData", "1,2,513"}});
    m_center.post(client::events::kKeyboardData, nullptr,
                  platform::Dictionary{{"keyboardData", "[PC00604]"}});
    EXPECT_THAT(sentUntilMarker(Link::Relay),
                ElementsAre(std::string(kRelayPrefix) + "[PC_CONN]", std::string(kRelayPrefix) + "[PC00010]",
                            "[US00001]t1,3.0.2.1008", std::string(kRelayPrefix) + "[PC00015]hi,5000"));
}

TEST_F(Catalogue, MouseAndKeyboardGoOutOnTheDirectLink) {
    startDirect();
    m_center.post(client::events::kMouseData, nullptr, platform::Dictionary{{"mouseData", "100,200,513"}});
    m_center.post(client::events::kMouseData, nullptr, platform::Dictionary{{"mouseData", "5,-3,522"}});
    m_center.post(client::events::kMouseData, nullptr, platform::Dictionary{{"mouseData", "5,6"}});
    m_center.post(client::events::kKeyboardData, nullptr,
                  platform::Dictionary{{"keyboardData", client::command::keyText("2A,1E,9E,AA")}});
    EXPECT_THAT(sentUntilMarker(),
                ElementsAre("type5:513,100,200,0", "type5:522,0,0,-3", "[PC00603]2A,1E,9E,AA"));
}

TEST_F(Catalogue, TextsThatDoNotFitTheirRequestAreRefused) {
    startDirect();
    const std::string fits = "[PC00603]" + std::string(kMaxCommandUnits - kCodeUnits, 'a');
    const std::string tooLong = fits + "a";
    // Characters above U+FFFF take two units on the wire.
    const std::string supplementary =
        "[PC00603]" + std::string(kMaxCommandUnits - kCodeUnits - 1, 'a') + "\xF0\x9F\x98\x80";
    const std::string chatFits(kMaxChatUnits - kCodeUnits - kChatSuffixUnits, 'c');
    EXPECT_TRUE(m_client->sendCommand(fits, Link::Direct));
    EXPECT_FALSE(m_client->sendCommand(tooLong, Link::Direct));
    EXPECT_FALSE(m_client->sendCommand(supplementary, Link::Direct));
    EXPECT_FALSE(m_client->sendCommand("[PC00603]\xFF", Link::Direct)) << "not UTF-8";
    chat(chatFits);
    chat(chatFits + "c");
    m_center.post(client::events::kKeyboardData, nullptr, platform::Dictionary{{"keyboardData", tooLong}});
    auto sent = sentUntilMarker();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], fits);
    EXPECT_EQ(sent[1], "[PC00015]" + chatFits + ",5000");
    auto lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("[PC00603] too long (220 characters) for a 512-byte request") != std::string::npos;
    }));
}

TEST_F(Catalogue, RelayChatIsWrappedAndFitsTheSameLimit) {
    startRelay();
    const std::string line(kMaxChatUnits - kCodeUnits - kChatSuffixUnits, 'c');
    chat(line);
    chat(line + "c");
    EXPECT_THAT(sentUntilMarker(Link::Relay),
                ElementsAre(std::string(kRelayPrefix) + "[PC_CONN]",
                            std::string(kRelayPrefix) + "[PC00015]" + line + ",5000"));
}

// The longest chat line, 511 commas as the chat window hands it over (each widened to "&comma;",
// then a line feed), byte for byte: type 1, the digest length 32, the MD5 of the 7184 text bytes
// as UTF-16LE hex, the text length, then the text enciphered with RC4 under the fixed key. The
// digest and the lengths were worked out apart from this code base; the cipher is the console's.
class LongestChat : public Catalogue {
protected:
    void expectOnTheWire(Link link) {
        constexpr std::size_t kCommas = 511;
        constexpr const char* kDigest = "a994515ad3513a6d67d83d81089f153c";
        constexpr std::size_t kTextBytes = 7184; // (9 + 511 x 7 + 1 + 5) units of two bytes
        constexpr std::size_t kBodyBytes = 7257;
        std::string line;
        for (std::size_t i = 0; i < kCommas; ++i)
            line += "&comma;";
        line += "\n";
        Bytes head = {0x01, 0x20, 0x00, 0x00, 0x00};
        for (const char* digit = kDigest; *digit != '\0'; ++digit) {
            head.push_back(static_cast<std::uint8_t>(*digit));
            head.push_back(0x00);
        }
        for (std::uint8_t byte : {0x10, 0x1C, 0x00, 0x00}) // 7184
            head.push_back(byte);

        chat(line);
        ASSERT_FALSE(sentUntilMarker(link).empty());
        const auto all = m_console->received();
        ASSERT_GE(all.size(), 2u);
        Bytes body = all[all.size() - 2].body;
        if (link == Link::Relay) {
            // The envelope: type 13, the teacher's and this student's connection, the inner length.
            const Bytes envelope = {13, kTeacherConnId, 0, 0, 0, kConnId, 0, 0, 0, 0x59, 0x1C, 0, 0};
            ASSERT_GT(body.size(), envelope.size());
            EXPECT_TRUE(std::equal(envelope.begin(), envelope.end(), body.begin())) << "envelope";
            body.erase(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(envelope.size()));
        }
        ASSERT_EQ(body.size(), kBodyBytes);
        ASSERT_EQ(kBodyBytes, head.size() + kTextBytes);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), body.begin())) << "header and digest";
        EXPECT_EQ(body, textBody("[PC00015]" + line + ",5000")) << "enciphered text";
    }
};

TEST_F(LongestChat, OnTheDirectLinkByteForByte) {
    startDirect();
    expectOnTheWire(Link::Direct);
}

TEST_F(LongestChat, OnTheRelayWrappedByteForByte) {
    startRelay();
    expectOnTheWire(Link::Relay);
}

} // namespace
} // namespace clienttest
