// The lookup over real HTTPS on loopback: a one-file TLS peer with a self-signed certificate made
// at start, scripted answers, and the agent's request line checked byte for byte.
#include "client/RSInfoLookup.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <optional>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr long kCertificateDays = 1;
constexpr int kSecondsPerDay = 24 * 60 * 60;

struct SslCtxDeleter {
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct KeyDeleter {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CertDeleter {
    void operator()(X509* p) const { X509_free(p); }
};
struct SslDeleter {
    void operator()(SSL* p) const { SSL_free(p); }
};

// Serves each connection with one scripted answer (or none, when silent) and records the request
// head it read.
class LoopbackHttpsPeer {
public:
    explicit LoopbackHttpsPeer(std::string answer, bool silent = false)
        : m_answer(std::move(answer)), m_silent(silent) {
        std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
        std::unique_ptr<X509, CertDeleter> cert(X509_new());
        X509_set_version(cert.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), kCertificateDays * kSecondsPerDay);
        X509_set_pubkey(cert.get(), key.get());
        X509_NAME* name = X509_get_subject_name(cert.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert.get(), name);
        X509_sign(cert.get(), key.get(), EVP_sha256());
        m_ctx.reset(SSL_CTX_new(TLS_server_method()));
        SSL_CTX_use_certificate(m_ctx.get(), cert.get());
        SSL_CTX_use_PrivateKey(m_ctx.get(), key.get());

        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_listener, 4);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~LoopbackHttpsPeer() {
        m_stopping = true;
        shutdown(m_listener, SHUT_RDWR); // wakes accept()
        if (m_client >= 0)
            shutdown(m_client, SHUT_RDWR); // wakes a silent peer's read
        m_thread.join();
        close(m_listener);
    }

    int port() const { return m_port; }
    std::string baseURL() const { return "https://127.0.0.1:" + std::to_string(m_port) + "/"; }
    std::string requestHead() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_head;
    }
    bool connected() const { return m_connected; }

private:
    void serve() {
        while (!m_stopping) {
            const int fd = accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            m_client = fd;
            handle(fd);
            m_client = -1;
            close(fd);
        }
    }

    void handle(int fd) {
        std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(m_ctx.get()));
        SSL_set_fd(ssl.get(), fd);
        if (SSL_accept(ssl.get()) != 1)
            return;
        m_connected = true;
        std::string head;
        char buffer[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const int n = SSL_read(ssl.get(), buffer, sizeof buffer);
            if (n <= 0)
                return;
            head.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_head = head;
        }
        if (m_silent) {
            SSL_read(ssl.get(), buffer, sizeof buffer); // until the agent gives up
            return;
        }
        SSL_write(ssl.get(), m_answer.data(), static_cast<int>(m_answer.size()));
        SSL_shutdown(ssl.get());
    }

    std::string m_answer;
    bool m_silent;
    std::unique_ptr<SSL_CTX, SslCtxDeleter> m_ctx;
    int m_listener = -1;
    std::atomic<int> m_client{-1};
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_connected{false};
    mutable std::mutex m_mutex;
    std::string m_head;
    std::thread m_thread;
};

std::string httpAnswer(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string md5OfText(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    char hex[3];
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        snprintf(hex, sizeof hex, "%02x", digest[i]);
        out += hex;
    }
    return out;
}

class RSInfoLookupRoundTrip : public testing::Test {
protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() / ("rsinfo-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_home);
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        platform::UserDefaults::resetForTesting();
        m_loop.install();
    }
    void TearDown() override {
        platform::UserDefaults::resetForTesting();
        std::filesystem::remove_all(m_home);
    }

    // Runs one lookup against base and answers its outcome.
    std::optional<client::RSInfoOutcome> lookup(const std::string& base, const std::string& teacherId) {
        platform::UserDefaults::suite()->setString(client::kLookupBaseURLKey, base);
        std::optional<client::RSInfoOutcome> outcome;
        client::RSInfoLookup lookup;
        EXPECT_TRUE(lookup.getRSInfo(teacherId, [&](const client::RSInfoOutcome& o) {
            EXPECT_TRUE(platform::mainQueue::isMainThread());
            outcome = o;
        }));
        m_loop.runUntil([&] { return outcome.has_value(); }, kWallSeconds);
        return outcome;
    }

    static constexpr double kWallSeconds = 20.0;
    std::filesystem::path m_home;
    platform::ManualRunLoop m_loop;
};

TEST_F(RSInfoLookupRoundTrip, SendsTheQueryAndReadsTheRelayAddress) {
    LoopbackHttpsPeer peer(
        httpAnswer(200, "\r\nresult:true\r\ncode:0\r\nrsip:10.20.30.40\r\nrsport:7001\r\n"));
    const auto outcome = lookup(peer.baseURL(), "teacher01");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::Found);
    EXPECT_EQ(outcome->result.rsip, "10.20.30.40");
    EXPECT_EQ(outcome->result.rsport, 7001);

    const std::regex line(
        "^GET /olvex/rsinfo/checkRsInfo\\.jsp\\?val1=([0-9]+)&val2=([0-9a-f]{32})&val3=teacher01 "
        "HTTP/1\\.1\r\n");
    std::smatch match;
    const std::string head = peer.requestHead();
    ASSERT_TRUE(std::regex_search(head, match, line)) << head;
    EXPECT_EQ(match[2].str(), md5OfText(match[1].str() + ".teacher01"));
}

TEST_F(RSInfoLookupRoundTrip, KoreanRefusalMessageArrivesDecoded) {
    LoopbackHttpsPeer peer(httpAnswer(200, "\nresult:false\ncode:3\nmessage:\xBE\xC8\xB3\xE7\n"));
    const auto outcome = lookup(peer.baseURL(), "t1");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::Refused);
    EXPECT_EQ(outcome->messageKey, "webcode_3");
    EXPECT_EQ(outcome->result.message, "\uC548\uB155");
}

TEST_F(RSInfoLookupRoundTrip, NotFoundStatusIsABadAnswer) {
    LoopbackHttpsPeer peer(httpAnswer(404, "\nresult:true\ncode:0"));
    const auto outcome = lookup(peer.baseURL(), "t1");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::BadAnswer);
    EXPECT_EQ(outcome->messageKey, "webcode_1");
}

TEST_F(RSInfoLookupRoundTrip, OversizedAnswerIsARequestError) {
    LoopbackHttpsPeer peer(httpAnswer(200, "\n" + std::string(client::ZQURLSession::kMaxBodyBytes + 1, 'x')));
    const auto outcome = lookup(peer.baseURL(), "t1");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::RequestFailed);
}

TEST_F(RSInfoLookupRoundTrip, RefusedConnectionIsARequestError) {
    int port = 0;
    {
        LoopbackHttpsPeer closed("");
        port = closed.port();
    }
    const auto outcome = lookup("https://127.0.0.1:" + std::to_string(port), "t1");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::RequestFailed);
}

TEST_F(RSInfoLookupRoundTrip, NonWebSchemeFromTheSettingsIsRefused) {
    const auto outcome = lookup("file:///etc", "t1");
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, client::RSInfoStatus::RequestFailed);
}

TEST_F(RSInfoLookupRoundTrip, DestroyingTheLookupCancelsItWithoutCallingBack) {
    LoopbackHttpsPeer peer("", /*silent=*/true);
    platform::UserDefaults::suite()->setString(client::kLookupBaseURLKey, peer.baseURL());
    bool called = false;
    {
        client::RSInfoLookup lookup;
        ASSERT_TRUE(lookup.getRSInfo("t1", [&](const client::RSInfoOutcome&) { called = true; }));
        EXPECT_FALSE(lookup.getRSInfo("t1", [&](const client::RSInfoOutcome&) { called = true; }));
        m_loop.runUntil([&] { return !peer.requestHead().empty(); }, kWallSeconds);
    }
    m_loop.runUntilIdle();
    EXPECT_FALSE(called);
}

} // namespace
