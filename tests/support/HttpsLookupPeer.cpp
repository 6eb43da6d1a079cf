// Scripted HTTPS lookup service: OpenSSL server with an in-memory self-signed certificate.
#include "support/HttpsLookupPeer.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iconv.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace testsupport {

namespace {

constexpr const char* kPeerName = "https-lookup";
constexpr const char* kHost = "127.0.0.1";
constexpr int kListenBacklog = 8;
// A client that stalls mid-request cannot hold the serving thread longer than this.
constexpr int kClientTimeoutSeconds = 3;
// Requests are one GET with a short query; anything longer is refused.
constexpr std::size_t kMaxRequestHead = 16 * 1024;
constexpr long kCertificateValiditySeconds = 24L * 3600;
constexpr long kCertificateBackdateSeconds = 3600;

struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

struct HttpsLookupPeer::Tls {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, &EVP_PKEY_free};
    std::unique_ptr<X509, decltype(&X509_free)> certificate{nullptr, &X509_free};
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context{nullptr, &SSL_CTX_free};

    bool make() {
        key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
        certificate.reset(X509_new());
        if (!key || !certificate) {
            return false;
        }
        X509* x = certificate.get();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -kCertificateBackdateSeconds);
        X509_gmtime_adj(X509_getm_notAfter(x), kCertificateValiditySeconds);
        X509_set_pubkey(x, key.get());
        X509_NAME* name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kHost),
                                   -1, -1, 0);
        X509_set_issuer_name(x, name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
        X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1");
        if (san == nullptr) {
            return false;
        }
        X509_add_ext(x, san, -1);
        X509_EXTENSION_free(san);
        if (X509_sign(x, key.get(), EVP_sha256()) == 0) {
            return false;
        }
        context.reset(SSL_CTX_new(TLS_server_method()));
        return context && SSL_CTX_use_certificate(context.get(), x) == 1 &&
               SSL_CTX_use_PrivateKey(context.get(), key.get()) == 1;
    }
};

HttpsLookupPeer::HttpsLookupPeer() : m_tls(std::make_unique<Tls>()) {}

HttpsLookupPeer::~HttpsLookupPeer() {
    stop();
}

bool HttpsLookupPeer::start() {
    if (m_thread.joinable()) {
        return true;
    }
    // A client that hangs up mid-answer must fail the write, not end the test process.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        std::signal(SIGPIPE, SIG_IGN);
    }
    if (!m_tls->make()) {
        peerLog(kPeerName, "cannot make the self-signed certificate");
        return false;
    }
    m_listener = listenLoopback(m_port, kListenBacklog);
    if (!m_listener.valid() || m_stop.fd() < 0) {
        peerLog(kPeerName, "cannot listen on 127.0.0.1");
        return false;
    }
    m_thread = std::thread([this] { serveLoop(); });
    return true;
}

void HttpsLookupPeer::stop() {
    m_stop.signal();
    {
        std::lock_guard lock(m_mutex);
        if (m_clientFd >= 0) {
            ::shutdown(m_clientFd, SHUT_RDWR);
        }
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string HttpsLookupPeer::baseUrl() const {
    return std::string("https://") + kHost + ":" + std::to_string(m_port);
}

std::string HttpsLookupPeer::certificatePem() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!bio || !m_tls->certificate || PEM_write_bio_X509(bio.get(), m_tls->certificate.get()) != 1) {
        return {};
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

void HttpsLookupPeer::setResponse(int status, Bytes body) {
    std::lock_guard lock(m_mutex);
    m_status = status;
    m_body = std::move(body);
}

void HttpsLookupPeer::holdAnswers(bool hold) {
    std::lock_guard lock(m_mutex);
    m_hold = hold;
}

std::optional<std::string> HttpsLookupPeer::waitForRequest(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return m_requestsTaken < m_requests.size(); })) {
        return std::nullopt;
    }
    return m_requests[m_requestsTaken++];
}

std::vector<std::string> HttpsLookupPeer::requestLines() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void HttpsLookupPeer::serveLoop() {
    for (;;) {
        if (waitReadable(m_listener.get(), m_stop.fd(), -1) != WaitResult::Ready) {
            return;
        }
        UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd.valid()) {
            continue;
        }
        const timeval limit{kClientTimeoutSeconds, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        {
            std::lock_guard lock(m_mutex);
            m_clientFd = fd.get();
        }
        serveOne(fd.get());
        {
            std::lock_guard lock(m_mutex);
            m_clientFd = -1;
        }
    }
}

void HttpsLookupPeer::serveOne(int fd) {
    std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(m_tls->context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_accept(ssl.get()) != 1) {
        peerLog(kPeerName, "TLS handshake failed");
        ERR_clear_error();
        return;
    }
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const int n = SSL_read(ssl.get(), chunk, sizeof chunk);
        if (n <= 0 || head.size() + static_cast<std::size_t>(n) > kMaxRequestHead) {
            peerLog(kPeerName, "request head missing or too long");
            ERR_clear_error();
            return;
        }
        head.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string requestLine = head.substr(0, head.find("\r\n"));
    const std::size_t pathStart = requestLine.find(' ');
    const std::size_t pathEnd =
        requestLine.find_first_of("? ", pathStart == std::string::npos ? 0 : pathStart + 1);
    const bool isLookup = requestLine.rfind("GET ", 0) == 0 && pathStart != std::string::npos &&
                          pathEnd != std::string::npos &&
                          requestLine.compare(pathStart + 1, pathEnd - pathStart - 1, kLookupPath) == 0;

    int status = kStatusNotFound;
    Bytes body;
    bool hold = false;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(requestLine);
        hold = m_hold;
        if (isLookup) {
            status = m_status;
            body = m_body;
        }
    }
    m_changed.notify_all();
    if (hold) {
        // Readable once the client hangs up; the stop signal ends the wait too.
        waitReadable(fd, m_stop.fd(), -1);
        return;
    }

    char header[256];
    const int headerSize =
        std::snprintf(header, sizeof header,
                      "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n"
                      "Connection: close\r\n\r\n",
                      status, reasonPhrase(status), body.size());
    Bytes answer(header, header + headerSize);
    answer.insert(answer.end(), body.begin(), body.end());
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const int n = SSL_write(ssl.get(), answer.data() + sent, static_cast<int>(answer.size() - sent));
        if (n <= 0) {
            peerLog(kPeerName, "client went away before the answer was written");
            ERR_clear_error();
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
    SSL_shutdown(ssl.get());
    ERR_clear_error();
}

std::optional<Bytes> HttpsLookupPeer::toCp949(std::string_view utf8) {
    iconv_t cd = iconv_open("CP949", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string in(utf8);
    // Every character takes at most two CP949 bytes, never more than its UTF-8 form.
    Bytes out(in.size() + 1);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    auto* outPtr = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::optional<Bytes> HttpsLookupPeer::lookupAnswer(const Fields& fields, LineEnding ending,
                                                   bool leadingEmptyLine) {
    const std::string newline = ending == LineEnding::CrLf ? "\r\n" : "\n";
    std::string text = leadingEmptyLine ? newline : std::string();
    for (const auto& [key, value] : fields) {
        text += key + ":" + value + newline;
    }
    return toCp949(text);
}

std::optional<HttpsLookupPeer::LookupQuery>
HttpsLookupPeer::parseLookupRequest(const std::string& requestLine) {
    const std::string prefix = std::string("GET ") + kLookupPath + "?";
    const std::size_t queryEnd = requestLine.rfind(' ');
    if (requestLine.rfind(prefix, 0) != 0 || queryEnd == std::string::npos || queryEnd < prefix.size()) {
        return std::nullopt;
    }
    const std::string query = requestLine.substr(prefix.size(), queryEnd - prefix.size());
    LookupQuery result;
    bool seen[3] = {false, false, false};
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string pair = query.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            const std::string key = pair.substr(0, equals);
            std::string* target = key == "val1"   ? &result.val1
                                  : key == "val2" ? &result.val2
                                  : key == "val3" ? &result.val3
                                                  : nullptr;
            if (target != nullptr) {
                *target = pair.substr(equals + 1);
                seen[key[3] - '1'] = true;
            }
        }
        start = end + 1;
    }
    if (!seen[0] || !seen[1] || !seen[2]) {
        return std::nullopt;
    }
    const std::string signedText = result.val1 + "." + result.val3;
    const Digest digest = md5(reinterpret_cast<const std::uint8_t*>(signedText.data()), signedText.size());
    result.tokenMatches = result.val2 == hexLower(digest.data(), digest.size());
    return result;
}

} // namespace testsupport
