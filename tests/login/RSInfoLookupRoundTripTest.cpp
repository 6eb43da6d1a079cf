// The lookup over real HTTPS on loopback against the scripted lookup service: the agent's request
// line checked byte for byte, scripted answers read back.
#include "login/RSInfoLookup.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "support/HttpsLookupPeer.h"
#include "support/PeerSocket.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <string>
#include <unistd.h>

namespace {

using testsupport::HttpsLookupPeer;

testsupport::Bytes bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

class RSInfoLookupRoundTrip : public testing::Test {
protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() / ("rsinfo-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_home);
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        platform::UserDefaults::resetForTesting();
        m_loop.install();
        ASSERT_TRUE(m_peer.start());
    }
    void TearDown() override {
        m_peer.stop();
        platform::UserDefaults::resetForTesting();
        std::filesystem::remove_all(m_home);
    }

    // Runs one lookup against base and answers its outcome.
    std::optional<login::RSInfoOutcome> lookup(const std::string& base, const std::string& teacherId) {
        platform::UserDefaults::suite()->setString(login::kLookupBaseURLKey, base);
        std::optional<login::RSInfoOutcome> outcome;
        login::RSInfoLookup lookup;
        EXPECT_TRUE(lookup.getRSInfo(teacherId, [&](const login::RSInfoOutcome& o) {
            EXPECT_TRUE(platform::mainQueue::isMainThread());
            outcome = o;
        }));
        m_loop.runUntil([&] { return outcome.has_value(); }, kWallSeconds);
        return outcome;
    }

    static constexpr double kWallSeconds = 20.0;
    std::filesystem::path m_home;
    platform::ManualRunLoop m_loop;
    HttpsLookupPeer m_peer;
};

TEST_F(RSInfoLookupRoundTrip, SendsTheQueryAndReadsTheRelayAddress) {
    m_peer.setResponse(HttpsLookupPeer::kStatusOk,
                       bytesOf("\r\nresult:true\r\ncode:0\r\nrsip:10.20.30.40\r\nrsport:7001\r\n"));
    const auto outcome = lookup(m_peer.baseUrl(), "teacher01");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, login::RSInfoStatus::Found);
    EXPECT_EQ(outcome->result.rsip, "10.20.30.40");
    EXPECT_EQ(outcome->result.rsport, 7001);

    const auto line = m_peer.waitForRequest();
    ASSERT_TRUE(line);
    const std::regex shape(
        "^GET /olvex/rsinfo/checkRsInfo\\.jsp\\?val1=[0-9]+&val2=[0-9a-f]{32}&val3=teacher01 "
        "HTTP/1\\.1$");
    EXPECT_TRUE(std::regex_match(*line, shape)) << *line;
    const auto query = HttpsLookupPeer::parseLookupRequest(*line);
    ASSERT_TRUE(query);
    EXPECT_TRUE(query->tokenMatches) << *line;
}

// Status and body of the service's answer, and the outcome the agent reads from them.
TEST_F(RSInfoLookupRoundTrip, AnswersBecomeOutcomes) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        login::RSInfoStatus expected;
        const char* messageKey;
        const char* message;
    };
    const Case cases[] = {
        // "안녕" in CP949.
        {"korean refusal", HttpsLookupPeer::kStatusOk, "\nresult:false\ncode:3\nmessage:\xBE\xC8\xB3\xE7\n",
         login::RSInfoStatus::Refused, "webcode_3", "\uC548\uB155"},
        {"not found", HttpsLookupPeer::kStatusNotFound, "\nresult:true\ncode:0",
         login::RSInfoStatus::BadAnswer, "webcode_1", ""},
        {"oversized", HttpsLookupPeer::kStatusOk,
         "\n" + std::string(login::ZQURLSession::kMaxBodyBytes + 1, 'x'), login::RSInfoStatus::RequestFailed,
         "", ""},
    };
    for (const Case& c : cases) {
        m_peer.setResponse(c.status, bytesOf(c.body));
        const auto outcome = lookup(m_peer.baseUrl(), "t1");
        ASSERT_TRUE(outcome) << c.name;
        EXPECT_EQ(outcome->status, c.expected) << c.name;
        EXPECT_EQ(outcome->messageKey, c.messageKey) << c.name;
        EXPECT_EQ(outcome->result.message, c.message) << c.name;
    }
}

TEST_F(RSInfoLookupRoundTrip, RefusedConnectionAndNonWebSchemeAreRequestErrors) {
    const testsupport::RefusedPort refused;
    for (const std::string& base :
         {"https://127.0.0.1:" + std::to_string(refused.port()), std::string("file:///etc")}) {
        const auto outcome = lookup(base, "t1");
        ASSERT_TRUE(outcome) << base;
        EXPECT_EQ(outcome->status, login::RSInfoStatus::RequestFailed) << base;
    }
}

TEST_F(RSInfoLookupRoundTrip, DestroyingTheLookupCancelsItWithoutCallingBack) {
    m_peer.holdAnswers(true);
    platform::UserDefaults::suite()->setString(login::kLookupBaseURLKey, m_peer.baseUrl());
    bool called = false;
    {
        login::RSInfoLookup lookup;
        ASSERT_TRUE(lookup.getRSInfo("t1", [&](const login::RSInfoOutcome&) { called = true; }));
        EXPECT_FALSE(lookup.getRSInfo("t1", [&](const login::RSInfoOutcome&) { called = true; }));
        bool asked = false;
        m_loop.runUntil(
            [&] {
                asked = asked || !m_peer.requestLines().empty();
                return asked;
            },
            kWallSeconds);
        ASSERT_TRUE(asked);
    }
    m_loop.runUntilIdle();
    EXPECT_FALSE(called);
}

} // namespace
