// The relay-server lookup's answer as the service sends it: the body is decoded from the Korean
// code page and read as "key:value" lines, and the answer classified. Byte 0 picks the HTTP status
// (200 unless it says otherwise), so error statuses and failed requests are walked too.
#include "login/RSInfoLookup.h"
#include "platform/Log.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr long kStatuses[] = {200, 200, 200, 200, 404, 500, 302, 0};
constexpr std::uint32_t kMaxPort = 65535;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::setLogSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    login::URLSessionResponse response;
    response.statusCode = kStatuses[data[0] % (sizeof kStatuses / sizeof kStatuses[0])];
    response.requestFailed = response.statusCode == 0;
    response.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    const login::RSInfoOutcome outcome = login::classifyRSInfoAnswer(response);
    if (outcome.status == login::RSInfoStatus::Found &&
        (!outcome.result.result || outcome.result.code != 0 || response.statusCode != 200))
        __builtin_trap(); // found only on a complete, positive answer
    if (outcome.result.rsport < 0 || static_cast<std::uint32_t>(outcome.result.rsport) > kMaxPort)
        __builtin_trap();
    // The parser alone, on text that need not have decoded.
    const login::SResultData direct = login::parseRSInfoResult(response.body);
    if (direct.rsport < 0 || static_cast<std::uint32_t>(direct.rsport) > kMaxPort)
        __builtin_trap();
    return 0;
}
