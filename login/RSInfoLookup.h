// The relay-server lookup of the login: asks the web lookup service where the relay server for a
// teacher ID is, and reads its answer. The login window starts it on the main thread; the request
// runs on a worker and the outcome is handed to the main queue. Everything else here is pure.
#pragma once

#include "login/ZQURLSession.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace login {

// Path of the lookup page on the service.
constexpr const char* kRSInfoPath = "/olvex/rsinfo/checkRsInfo.jsp";
// Settings key that points the agent at another lookup service (scheme, host and optional port).
constexpr const char* kLookupBaseURLKey = "macOS-lookupBaseURL";

// Alert of a failed lookup (the process ends on its OK): title key, and either the literal
// content of a request error or the content key of a bad answer.
constexpr const char* kNoticeTitleKey = "notice_msg_title";
constexpr const char* kRequestFailedText = "Failed to access to the URL page.";
constexpr const char* kBadAnswerKey = "webcode_1";

// The lookup service's answer, all false, zero and empty until read.
struct SResultData {
    bool result = false;
    std::int32_t code = 0;
    std::string message;
    std::string rsip;
    std::int32_t rsport = 0;
};

enum class RSInfoStatus {
    Found,         // result true and code 0: connect to rsip:rsport
    Refused,       // the service said no: message box of messageKey, the window returns to idle
    RequestFailed, // no answer: alert kNoticeTitleKey / kRequestFailedText, OK ends the process
    BadAnswer,     // status not 200 or undecodable: alert kNoticeTitleKey / kBadAnswerKey, OK ends it
};

struct RSInfoOutcome {
    RSInfoStatus status = RSInfoStatus::RequestFailed;
    SResultData result;     // the parsed answer (Found and Refused)
    std::string messageKey; // localised key: "webcode_1".."webcode_4" (Refused), kBadAnswerKey
};

// The lookup service's base address: the settings' kLookupBaseURLKey, else the build's default.
std::string lookupBaseURL();

// Wall-clock milliseconds since the epoch, the lookup's time stamp.
std::int64_t currentTimeMilliseconds();

// 32 lower-case hexadecimal digits of the MD5 digest of text.
std::string md5Hex(std::string_view text);

// "val1=<ms>&val2=<md5 of "<ms>.<teacherId>">&val3=<teacherId>". The teacher ID goes in as it is;
// only bytes that may not stand in a request line (controls, space, non-ASCII) are %-escaped, while
// the digest is always over the raw UTF-8 text.
std::string makeRSInfoQuery(std::int64_t milliseconds, std::string_view teacherId);

// The answer's bytes as UTF-8, read as Korean (CP949) text; empty when they do not decode.
std::optional<std::string> decodeMacKorean(std::string_view bytes);

// Reads "key:value" lines after the first line (CR before LF tolerated); an earlier line wins
// over a later one with the same key.
SResultData parseRSInfoResult(std::string_view text);

// "webcode_1".."webcode_3" for codes 1 to 3, "webcode_4" for any other.
std::string rsInfoMessageKey(std::int32_t code);

// The whole answer handling: request error, status, decoding, parsing and the verdict.
RSInfoOutcome classifyRSInfoAnswer(const URLSessionResponse& response);

class RSInfoLookup {
public:
    using ResultHandler = std::function<void(const RSInfoOutcome&)>;

    RSInfoLookup();
    // Main thread. Cancels a lookup still running; its handler is then never called, not even for
    // an outcome already queued.
    ~RSInfoLookup();

    // Main thread. Sends the lookup for the teacher ID to lookupBaseURL(); the handler runs on the
    // main queue with the outcome. False (handler never called) while a lookup is still running.
    bool getRSInfo(const std::string& teacherId, ResultHandler handler);

private:
    std::unique_ptr<ZQURLSession> m_session;
    std::shared_ptr<std::atomic<bool>> m_alive;
};

} // namespace login
