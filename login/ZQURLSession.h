// One HTTP(S) GET on a worker thread of its own, with any server certificate accepted. The main
// thread starts it; the completion handler runs on the worker. Destroying the session cancels a
// request still running (its handler is then never called) and waits for the worker.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace login {

struct URLSessionResponse {
    bool requestFailed = true; // no HTTP answer: bad URL, connect, TLS, time-out, oversized body
    std::string error;         // what failed, for the log
    long statusCode = 0;       // HTTP status when the request did not fail
    std::string body;          // the answer's bytes, undecoded
};

class ZQURLSession {
public:
    // Request and resource time-outs: connecting and the whole exchange each end after this.
    static constexpr long kTimeoutMilliseconds = 15000;
    // The lookup answer is a few short lines; a larger body is refused as a failed request.
    static constexpr std::size_t kMaxBodyBytes = 64 * 1024;

    using CompletionHandler = std::function<void(const URLSessionResponse&)>;

    ZQURLSession();
    ~ZQURLSession();
    ZQURLSession(const ZQURLSession&) = delete;
    ZQURLSession& operator=(const ZQURLSession&) = delete;

    // Main thread. GETs base + path + "?" + query (base: scheme, host and optional port; a trailing
    // "/" is dropped). False, without calling the handler, while an earlier request still runs.
    bool startSession(const std::string& base, const std::string& path, const std::string& query,
                      CompletionHandler completionHandler);

    bool isRunning() const { return m_running->load(); }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    std::shared_ptr<std::atomic<bool>> m_running;
    std::thread m_worker;
};

} // namespace login
