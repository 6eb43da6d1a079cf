// The HTTPS lookup peer answering libcurl, and the lookup answers it builds.
#include "support/HttpsLookupPeer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace testsupport {
namespace {

struct CurlResult {
    CURLcode code = CURLE_FAILED_INIT;
    long status = 0;
    Bytes body;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Bytes*>(user);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

CurlResult get(const std::string& url, const std::string& pinnedPem = {}) {
    CurlResult result;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        return result;
    }
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
    curl_blob blob{};
    if (pinnedPem.empty()) {
        curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    } else {
        blob.data = const_cast<char*>(pinnedPem.data());
        blob.len = pinnedPem.size();
        blob.flags = CURL_BLOB_COPY;
        curl_easy_setopt(curl.get(), CURLOPT_CAINFO_BLOB, &blob);
    }
    result.code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    return result;
}

class HttpsLookupPeerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    static void TearDownTestSuite() { curl_global_cleanup(); }
};

TEST_F(HttpsLookupPeerTest, ServesTheScriptedAnswerAndRecordsTheRequestLine) {
    HttpsLookupPeer peer;
    ASSERT_TRUE(peer.start());
    const auto answer = HttpsLookupPeer::lookupAnswer(
        {{"result", "true"}, {"code", "0"}, {"rsip", "127.0.0.1"}, {"rsport", "7001"}});
    ASSERT_TRUE(answer);
    peer.setResponse(HttpsLookupPeer::kStatusOk, *answer);

    const std::string query = "?val1=1700000000123&val2=0123456789abcdef0123456789abcdef&val3=T1";
    const CurlResult result = get(peer.baseUrl() + HttpsLookupPeer::kLookupPath + query);
    ASSERT_EQ(result.code, CURLE_OK) << curl_easy_strerror(result.code);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(std::string(result.body.begin(), result.body.end()),
              "\nresult:true\ncode:0\nrsip:127.0.0.1\nrsport:7001\n");
    EXPECT_EQ(peer.waitForRequest(),
              std::string("GET ") + HttpsLookupPeer::kLookupPath + query + " HTTP/1.1");
}

TEST_F(HttpsLookupPeerTest, AnswersOtherPathsWithNotFoundAndScriptedFailures) {
    HttpsLookupPeer peer;
    ASSERT_TRUE(peer.start());
    peer.setResponse(500, {});
    EXPECT_EQ(get(peer.baseUrl() + "/other").status, 404);
    EXPECT_EQ(get(peer.baseUrl() + HttpsLookupPeer::kLookupPath + "?val1=1").status, 500);
    EXPECT_EQ(peer.requestLines().size(), 2u);
}

TEST_F(HttpsLookupPeerTest, CertificateNamesTheLoopbackAddress) {
    HttpsLookupPeer peer;
    ASSERT_TRUE(peer.start());
    const CurlResult result = get(peer.baseUrl() + HttpsLookupPeer::kLookupPath, peer.certificatePem());
    EXPECT_EQ(result.code, CURLE_OK) << curl_easy_strerror(result.code);
}

TEST(LookupAnswerTest, ReadsTheQueryAndChecksItsToken) {
    // md5("1700000000123.T1"), worked out with a separate tool.
    const std::string line = std::string("GET ") + HttpsLookupPeer::kLookupPath +
                             "?val1=1700000000123&val2=TOKEN&val3=T1 HTTP/1.1";
    const std::string good = "41b4e274c8ccdc78eb47e45c5f752f30";
    auto query = HttpsLookupPeer::parseLookupRequest(line);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->val1, "1700000000123");
    EXPECT_EQ(query->val3, "T1");
    EXPECT_FALSE(query->tokenMatches);
    std::string signedLine = line;
    signedLine.replace(signedLine.find("TOKEN"), 5, good);
    query = HttpsLookupPeer::parseLookupRequest(signedLine);
    ASSERT_TRUE(query);
    EXPECT_TRUE(query->tokenMatches);
    EXPECT_FALSE(HttpsLookupPeer::parseLookupRequest("GET /other?val1=1&val2=2&val3=3 HTTP/1.1"));
    EXPECT_FALSE(HttpsLookupPeer::parseLookupRequest(std::string("GET ") + HttpsLookupPeer::kLookupPath +
                                                     "?val1=1&val3=3 HTTP/1.1"));
}

TEST(LookupAnswerTest, BuildsEveryLineFormInCp949) {
    struct Case {
        HttpsLookupPeer::LineEnding ending;
        bool leadingEmptyLine;
        std::string expected;
    };
    const Case cases[] = {
        {HttpsLookupPeer::LineEnding::Lf, true, "\nresult:false\nmessage:\xB0\xA1\n"},
        {HttpsLookupPeer::LineEnding::CrLf, true, "\r\nresult:false\r\nmessage:\xB0\xA1\r\n"},
        {HttpsLookupPeer::LineEnding::Lf, false, "result:false\nmessage:\xB0\xA1\n"},
    };
    for (const Case& c : cases) {
        // U+AC00 is B0 A1 in CP949.
        const auto answer = HttpsLookupPeer::lookupAnswer({{"result", "false"}, {"message", "\xEA\xB0\x80"}},
                                                          c.ending, c.leadingEmptyLine);
        ASSERT_TRUE(answer);
        EXPECT_EQ(std::string(answer->begin(), answer->end()), c.expected);
    }
    EXPECT_FALSE(HttpsLookupPeer::toCp949("\xF0\x9F\x98\x80"));
}

} // namespace
} // namespace testsupport
