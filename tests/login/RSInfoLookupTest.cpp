#include "login/RSInfoLookup.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace {

using login::RSInfoStatus;

// Digests from an independent MD5 tool over the exact texts.
TEST(RSInfoQuery, CarriesTimeDigestAndTeacherId) {
    EXPECT_EQ(login::makeRSInfoQuery(1700000000123, "teacher01"),
              "val1=1700000000123&val2=cfcaa91fac520571eecbeac9db9c5e4e&val3=teacher01");
}

TEST(RSInfoQuery, DigestIsOverTheRawUtf8TeacherIdWhileTheRequestLineEscapesIt) {
    EXPECT_EQ(login::makeRSInfoQuery(1700000000123, "\uAE40\uC120\uC0DD"),
              "val1=1700000000123&val2=5dd05a35d72af41cdcdb5261044be6c9&val3=%EA%B9%80%EC%84%A0%EC%83%9D");
}

TEST(RSInfoAnswer, DecodesKoreanText) {
    // "안녕하세요" and "똠" (the latter only in the extended Korean table) in CP949.
    EXPECT_EQ(login::decodeMacKorean("\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4"),
              "\uC548\uB155\uD558\uC138\uC694");
    EXPECT_EQ(login::decodeMacKorean("\x8C\x63"), "\uB620");
    EXPECT_EQ(login::decodeMacKorean(""), "");
    EXPECT_EQ(login::decodeMacKorean("a\xFF\xFE"), std::nullopt);
    EXPECT_EQ(login::decodeMacKorean("a\xB3"), std::nullopt); // cut in the middle of a character
}

struct ParseCase {
    const char* what;
    std::string text;
    bool result;
    int code;
    std::string message, rsip;
    int rsport;
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.what; }
};

class ParseRSInfoResult : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseRSInfoResult, ReadsKeyValueLinesAfterTheFirst) {
    const auto& c = GetParam();
    const auto data = login::parseRSInfoResult(c.text);
    EXPECT_EQ(data.result, c.result) << c.what;
    EXPECT_EQ(data.code, c.code) << c.what;
    EXPECT_EQ(data.message, c.message) << c.what;
    EXPECT_EQ(data.rsip, c.rsip) << c.what;
    EXPECT_EQ(data.rsport, c.rsport) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseRSInfoResult,
    testing::Values(
        ParseCase{"leading empty line", "\nresult:true\ncode:0\nrsip:10.1.2.3\nrsport:7000\n", true, 0, "",
                  "10.1.2.3", 7000},
        ParseCase{"CRLF lines", "\r\nresult:true\r\ncode:0\r\nrsip:10.1.2.3\r\nrsport:7000\r\n", true, 0, "",
                  "10.1.2.3", 7000},
        ParseCase{"first line never read", "result:true\ncode:0\nrsip:10.1.2.3\nrsport:7000", false, 0, "",
                  "10.1.2.3", 7000},
        ParseCase{"no newline at all", "result:true", false, 0, "", "", 0},
        ParseCase{"empty", "", false, 0, "", "", 0},
        ParseCase{"earliest occurrence wins", "\nrsip:1.1.1.1\nrsip:2.2.2.2\nresult:false\nresult:true",
                  false, 0, "", "1.1.1.1", 0},
        ParseCase{"value ends at a second colon", "\nmessage:a:b\nrsip:::1", false, 0, "a", "", 0},
        ParseCase{"lines without colon and unknown keys skipped", "\nhello\nfoo:bar\nRESULT:true\ncode:2",
                  false, 2, "", "", 0},
        ParseCase{"other result values leave it", "\nresult:TRUE\nresult:yes", false, 0, "", "", 0},
        ParseCase{"code not a number", "\ncode:abc", false, 0, "", "", 0},
        ParseCase{"code with trailing text", "\ncode:3x", false, 3, "", "", 0},
        ParseCase{"code out of 32 bits", "\ncode:99999999999", false, 0, "", "", 0},
        ParseCase{"port out of range", "\nrsport:70000", false, 0, "", "", 0},
        ParseCase{"negative port", "\nrsport:-1", false, 0, "", "", 0},
        ParseCase{"missing keys", "\nresult:true", true, 0, "", "", 0}),
    testsupport::PrintedCaseName());

login::URLSessionResponse answer(long status, std::string body) {
    login::URLSessionResponse response;
    response.requestFailed = false;
    response.statusCode = status;
    response.body = std::move(body);
    return response;
}

TEST(RSInfoOutcome, RequestErrorEndsTheProcessWithTheLiteralText) {
    login::URLSessionResponse failed;
    failed.error = "Couldn't connect to server";
    const auto outcome = login::classifyRSInfoAnswer(failed);
    EXPECT_EQ(outcome.status, RSInfoStatus::RequestFailed);
    EXPECT_STREQ(login::kRequestFailedText, "Failed to access to the URL page.");
    EXPECT_STREQ(login::kNoticeTitleKey, "notice_msg_title");
}

TEST(RSInfoOutcome, StatusOtherThan200OrUndecodableBodyIsABadAnswer) {
    for (const auto& response : {answer(404, "\nresult:true\ncode:0"), answer(500, ""),
                                 answer(200, "\nresult:true\nmessage:\xFF\xFE")}) {
        const auto outcome = login::classifyRSInfoAnswer(response);
        EXPECT_EQ(outcome.status, RSInfoStatus::BadAnswer);
        EXPECT_EQ(outcome.messageKey, "webcode_1");
    }
}

struct VerdictCase {
    std::string body;
    RSInfoStatus status;
    std::string messageKey;
    // The answer's lines, one after another: the case's name.
    friend void PrintTo(const VerdictCase& c, std::ostream* os) {
        std::string lines;
        for (const char ch : c.body) {
            if (ch != '\r' && ch != '\n')
                lines.push_back(ch);
            else if (!lines.empty() && lines.back() != ' ')
                lines.push_back(' ');
        }
        *os << lines;
    }
};

class RSInfoVerdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(RSInfoVerdict, PicksTheMessageByCode) {
    const auto& c = GetParam();
    const auto outcome = login::classifyRSInfoAnswer(answer(200, c.body));
    EXPECT_EQ(outcome.status, c.status) << c.body;
    EXPECT_EQ(outcome.messageKey, c.messageKey) << c.body;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RSInfoVerdict,
    testing::Values(
        VerdictCase{"\r\nresult:true\r\ncode:0\r\nrsip:10.1.2.3\r\nrsport:7000\r\n", RSInfoStatus::Found, ""},
        VerdictCase{"\nresult:false\ncode:1", RSInfoStatus::Refused, "webcode_1"},
        VerdictCase{"\nresult:false\ncode:2", RSInfoStatus::Refused, "webcode_2"},
        VerdictCase{"\nresult:true\ncode:3", RSInfoStatus::Refused, "webcode_3"},
        VerdictCase{"\nresult:false\ncode:9", RSInfoStatus::Refused, "webcode_4"},
        VerdictCase{"\nresult:false\ncode:0", RSInfoStatus::Refused, "webcode_4"},
        VerdictCase{"result:true\ncode:0\nrsip:10.1.2.3\nrsport:7000", RSInfoStatus::Refused, "webcode_4"}),
    testsupport::PrintedCaseName());

TEST(RSInfoOutcome, FoundCarriesTheRelayAddressAndRefusalTheKoreanMessage) {
    auto found =
        login::classifyRSInfoAnswer(answer(200, "\nresult:true\ncode:0\nrsip:10.1.2.3\nrsport:7000"));
    ASSERT_EQ(found.status, RSInfoStatus::Found);
    EXPECT_EQ(found.result.rsip, "10.1.2.3");
    EXPECT_EQ(found.result.rsport, 7000);

    auto refused = login::classifyRSInfoAnswer(
        answer(200, "\r\nresult:false\r\ncode:2\r\nmessage:\xBE\xC8\xB3\xE7\r\n"));
    ASSERT_EQ(refused.status, RSInfoStatus::Refused);
    EXPECT_EQ(refused.result.message, "\uC548\uB155");
}

} // namespace
