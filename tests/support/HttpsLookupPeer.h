// A scripted HTTPS lookup service on 127.0.0.1: TLS with a self-signed certificate made in memory
// at start, answering GET of the relay lookup page with a scripted status and body, and recording
// every request line. One serving thread; the setters and waits are thread-safe.
#pragma once

#include "support/PeerCodec.h"
#include "support/PeerSocket.h"
#include "support/ScriptedPeer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class HttpsLookupPeer {
public:
    static constexpr const char* kLookupPath = "/olvex/rsinfo/checkRsInfo.jsp";
    static constexpr int kStatusOk = 200;
    static constexpr int kStatusNotFound = 404;

    enum class LineEnding { Lf, CrLf };
    using Fields = std::vector<std::pair<std::string, std::string>>;

    HttpsLookupPeer();
    ~HttpsLookupPeer();
    HttpsLookupPeer(const HttpsLookupPeer&) = delete;
    HttpsLookupPeer& operator=(const HttpsLookupPeer&) = delete;

    // Makes the key and certificate, binds 127.0.0.1 on an ephemeral port and starts serving.
    bool start();
    void stop();

    std::uint16_t port() const { return m_port; }
    // Scheme, host and port, e.g. "https://127.0.0.1:40123".
    std::string baseUrl() const;
    // The self-signed certificate in PEM form, for clients that want to pin it.
    std::string certificatePem() const;

    // What the lookup page answers from now on (default: 200 with an empty body).
    void setResponse(int status, Bytes body);
    // While held, requests are recorded but never answered: the connection stays open until the
    // client hangs up or the peer stops (a service that has gone quiet mid-request).
    void holdAnswers(bool hold);

    // The next request line ("GET /path?query HTTP/1.1") not returned before.
    std::optional<std::string> waitForRequest(std::chrono::milliseconds timeout = kDefaultWait);
    std::vector<std::string> requestLines() const;

    // A lookup answer: "key:value" lines, optionally after an empty first line, each ended by
    // ending, encoded as CP949. nullopt when a text has no CP949 form.
    static std::optional<Bytes> lookupAnswer(const Fields& fields, LineEnding ending = LineEnding::Lf,
                                             bool leadingEmptyLine = true);
    static std::optional<Bytes> toCp949(std::string_view utf8);

    // The three values of a lookup request line, and whether val2 is the lower-case hexadecimal
    // MD5 of val1, "." and val3. nullopt when the line is not a GET of the lookup page with all three.
    struct LookupQuery {
        std::string val1;
        std::string val2;
        std::string val3;
        bool tokenMatches = false;
    };
    static std::optional<LookupQuery> parseLookupRequest(const std::string& requestLine);

private:
    struct Tls;

    void serveLoop();
    void serveOne(int fd);

    std::unique_ptr<Tls> m_tls;
    std::uint16_t m_port = 0;
    UniqueFd m_listener;
    StopSignal m_stop;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_status = kStatusOk;
    Bytes m_body;
    bool m_hold = false;
    std::vector<std::string> m_requests;
    std::size_t m_requestsTaken = 0;
    int m_clientFd = -1;
};

} // namespace testsupport
