#include "login/ZQURLSession.h"

#include "platform/Log.h"

#include <curl/curl.h>
#include <mutex>

namespace login {
namespace {

// Only web schemes: the base address comes from the settings, and must not reach file:// or others.
constexpr const char* kAllowedProtocols = "http,https";
constexpr long kHttpGet = 1L;
constexpr long kOn = 1L;
constexpr long kOff = 0L;
constexpr int kAbortTransfer = 1;

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct Transfer {
    std::string body;
    bool oversized = false;
    const std::atomic<bool>* cancelled = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* userData) {
    auto* transfer = static_cast<Transfer*>(userData);
    const size_t bytes = size * count; // curl passes size 1
    if (bytes > ZQURLSession::kMaxBodyBytes - transfer->body.size()) {
        transfer->oversized = true;
        return 0; // makes curl fail the transfer with a write error
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int onProgress(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<const Transfer*>(userData);
    return transfer->cancelled->load() ? kAbortTransfer : 0;
}

URLSessionResponse perform(const std::string& url, const std::atomic<bool>& cancelled) {
    URLSessionResponse response;
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        response.error = "curl_easy_init failed";
        return response;
    }
    Transfer transfer;
    transfer.cancelled = &cancelled;
    CURL* h = easy.get();
    CURLcode rc = CURLE_OK;
    // Options are applied in order; the first that fails stops the setup.
    auto set = [&rc](CURLcode result) {
        if (rc == CURLE_OK)
            rc = result;
    };
    set(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
    set(curl_easy_setopt(h, CURLOPT_HTTPGET, kHttpGet));
    set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kAllowedProtocols));
    // A worker thread must not take signals for DNS time-outs.
    set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, kOn));
    set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ZQURLSession::kTimeoutMilliseconds));
    set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ZQURLSession::kTimeoutMilliseconds));
    // The lookup service is reached whatever certificate it presents.
    set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, kOff));
    set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, kOff));
    set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody));
    set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
    set(curl_easy_setopt(h, CURLOPT_NOPROGRESS, kOff));
    set(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress));
    set(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
    if (rc == CURLE_OK)
        rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        response.error = transfer.oversized
                             ? "answer larger than " + std::to_string(ZQURLSession::kMaxBodyBytes) + " bytes"
                             : curl_easy_strerror(rc);
        return response;
    }
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        response.error = "no HTTP status";
        return response;
    }
    response.requestFailed = false;
    response.statusCode = status;
    response.body = std::move(transfer.body);
    return response;
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            platform::logf("[ZQ]curl_global_init failed");
    });
}

} // namespace

ZQURLSession::ZQURLSession()
    : m_cancelled(std::make_shared<std::atomic<bool>>(false)),
      m_running(std::make_shared<std::atomic<bool>>(false)) {}

ZQURLSession::~ZQURLSession() {
    m_cancelled->store(true);
    if (m_worker.joinable())
        m_worker.join();
}

bool ZQURLSession::startSession(const std::string& base, const std::string& path, const std::string& query,
                                CompletionHandler completionHandler) {
    if (m_running->load()) {
        platform::logf("[ZQ]lookup request still running; new request refused");
        return false;
    }
    if (m_worker.joinable())
        m_worker.join(); // the previous worker has finished its work
    initCurlOnce();

    std::string url = base;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    url += path + "?" + query;

    m_running->store(true);
    m_worker = std::thread([url = std::move(url), handler = std::move(completionHandler),
                            cancelled = m_cancelled, running = m_running] {
        URLSessionResponse response = perform(url, *cancelled);
        if (response.requestFailed)
            platform::logf("[ZQ]request failed: %s", response.error.c_str());
        if (!cancelled->load() && handler)
            handler(response);
        running->store(false);
    });
    return true;
}

} // namespace login
