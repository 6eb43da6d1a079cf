#include "login/RSInfoLookup.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "transport/PacketCodec.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <iconv.h>
#include <vector>

#ifndef OLVEX_LOOKUP_BASE_URL
#define OLVEX_LOOKUP_BASE_URL "https://127.0.0.1:8443"
#endif

namespace login {
namespace {

constexpr const char* kDefaultLookupBaseURL = OLVEX_LOOKUP_BASE_URL;
constexpr const char* kAnswerEncoding = "CP949";
constexpr int kHttpOk = 200;
constexpr std::int32_t kMaxPort = 65535;
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kDelete = 0x7F;
constexpr const char* kHexDigits = "0123456789abcdef";
constexpr const char* kEscapeHexDigits = "0123456789ABCDEF";

struct IconvCloser {
    iconv_t cd;
    ~IconvCloser() { iconv_close(cd); }
};

// A decimal value as the C library's atoi reads it (leading blanks, a sign, digits up to the first
// other byte), but 0 instead of undefined behaviour when it does not fit 32 bits.
std::int32_t decimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && text[i] == '+') {
        ++i; // from_chars takes '-' but not '+'
        if (i < text.size() && text[i] == '-')
            return 0;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    (void)end;
    return ec == std::errc() ? value : 0;
}

// The bytes up to a separator and the rest after it; the whole text and nothing when it is absent.
std::pair<std::string_view, std::optional<std::string_view>> splitOnce(std::string_view text,
                                                                       char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos)
        return {text, std::nullopt};
    return {text.substr(0, at), text.substr(at + 1)};
}

void readLine(std::string_view line, SResultData& data) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const auto [key, rest] = splitOnce(line, ':');
    if (!rest)
        return; // not a key:value line
    const std::string_view value = splitOnce(*rest, ':').first;
    if (key == "result") {
        if (value == "true")
            data.result = true;
        else if (value == "false")
            data.result = false;
    } else if (key == "message") {
        data.message = std::string(value);
    } else if (key == "code") {
        data.code = decimalValue(value);
    } else if (key == "rsip") {
        data.rsip = std::string(value);
    } else if (key == "rsport") {
        const std::int32_t port = decimalValue(value);
        if (port < 0 || port > kMaxPort)
            platform::logf("[ZQ]lookup answer: rsport %d is not a port", port);
        data.rsport = port >= 0 && port <= kMaxPort ? port : 0;
    }
}

} // namespace

std::string lookupBaseURL() {
    std::string base = platform::UserDefaults::suite()->stringValue(kLookupBaseURLKey);
    return base.empty() ? std::string(kDefaultLookupBaseURL) : base;
}

std::int64_t currentTimeMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string md5Hex(std::string_view text) {
    const auto digest = transport::md5Digest(text.data(), text.size());
    std::string hex;
    for (std::uint8_t byte : digest) {
        hex.push_back(kHexDigits[byte >> 4]);
        hex.push_back(kHexDigits[byte & 0x0F]);
    }
    return hex;
}

std::string makeRSInfoQuery(std::int64_t milliseconds, std::string_view teacherId) {
    const std::string ms = std::to_string(milliseconds);
    std::string query = "val1=" + ms + "&val2=" + md5Hex(ms + "." + std::string(teacherId)) + "&val3=";
    for (char ch : teacherId) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= ' ' || byte == kDelete || byte >= kFirstNonAscii) {
            query.push_back('%');
            query.push_back(kEscapeHexDigits[byte >> 4]);
            query.push_back(kEscapeHexDigits[byte & 0x0F]);
        } else {
            query.push_back(ch);
        }
    }
    return query;
}

std::optional<std::string> decodeMacKorean(std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-8", kAnswerEncoding);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        platform::logf("[ZQ]iconv_open %s failed", kAnswerEncoding);
        return std::nullopt;
    }
    IconvCloser closer{cd};
    // Every CP949 character (one or two bytes) becomes at most three UTF-8 bytes.
    constexpr std::size_t kMaxGrowth = 3;
    std::vector<char> input(bytes.begin(), bytes.end());
    std::string output(bytes.size() * kMaxGrowth, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        platform::logf("[ZQ]lookup answer does not decode as %s (errno %d at byte %zu)", kAnswerEncoding,
                       errno, input.size() - inLeft);
        return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
}

SResultData parseRSInfoResult(std::string_view text) {
    SResultData data;
    // The lines after the first, from the last upwards, so the earliest occurrence of a key wins.
    std::vector<std::string_view> lines;
    std::size_t start = text.find('\n');
    while (start != std::string_view::npos) {
        const std::size_t next = text.find('\n', start + 1);
        lines.push_back(text.substr(start + 1, next == std::string_view::npos ? next : next - start - 1));
        start = next;
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        readLine(*it, data);
    return data;
}

std::string rsInfoMessageKey(std::int32_t code) {
    switch (code) {
    case 1:
        return "webcode_1";
    case 2:
        return "webcode_2";
    case 3:
        return "webcode_3";
    default:
        return "webcode_4";
    }
}

RSInfoOutcome classifyRSInfoAnswer(const URLSessionResponse& response) {
    RSInfoOutcome outcome;
    if (response.requestFailed) {
        outcome.status = RSInfoStatus::RequestFailed;
        return outcome;
    }
    if (response.statusCode != kHttpOk) {
        platform::logf("[ZQ]lookup answered HTTP status %ld", response.statusCode);
        outcome.status = RSInfoStatus::BadAnswer;
        outcome.messageKey = kBadAnswerKey;
        return outcome;
    }
    const auto text = decodeMacKorean(response.body);
    if (!text) {
        outcome.status = RSInfoStatus::BadAnswer;
        outcome.messageKey = kBadAnswerKey;
        return outcome;
    }
    platform::logf("strResult: %s", text->c_str());
    outcome.result = parseRSInfoResult(*text);
    if (outcome.result.code != 0 || !outcome.result.result) {
        outcome.status = RSInfoStatus::Refused;
        outcome.messageKey = rsInfoMessageKey(outcome.result.code);
        return outcome;
    }
    outcome.status = RSInfoStatus::Found;
    return outcome;
}

RSInfoLookup::RSInfoLookup()
    : m_session(std::make_unique<ZQURLSession>()), m_alive(std::make_shared<std::atomic<bool>>(true)) {}

RSInfoLookup::~RSInfoLookup() {
    // An outcome already queued on the main queue must not reach a window that is gone.
    m_alive->store(false);
}

bool RSInfoLookup::getRSInfo(const std::string& teacherId, ResultHandler handler) {
    const std::string query = makeRSInfoQuery(currentTimeMilliseconds(), teacherId);
    return m_session->startSession(
        lookupBaseURL(), kRSInfoPath, query,
        [handler = std::move(handler), alive = m_alive](const URLSessionResponse& response) {
            RSInfoOutcome outcome = classifyRSInfoAnswer(response);
            platform::mainQueue::async([handler, alive, outcome = std::move(outcome)] {
                if (alive->load())
                    handler(outcome);
            });
        });
}

} // namespace login
