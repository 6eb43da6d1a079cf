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
// A 1024-byte chat request: 73 + 2 x 475 = 1023 bytes.
constexpr std::size_t kMaxChatUnits = 475;
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
            auto all = m_console->descriptions();
            if (all.back().ends_with(client::command::kHeartbeat))
                break;
        }
        auto all = m_console->descriptions();
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

} // namespace
} // namespace clienttest
