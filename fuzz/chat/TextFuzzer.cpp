// The chat's texts: the teacher line's time stamp over any calendar fields (the first 24 bytes are
// six 32-bit fields: year, month, day, hour, minute, second), and the rest as a typed chat line.
#include "chat/ChatText.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kTimeFields = 6;
constexpr std::size_t kTimeBytes = kTimeFields * sizeof(std::int32_t);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kTimeBytes)
        return 0;
    std::int32_t fields[kTimeFields];
    std::memcpy(fields, data, kTimeBytes);
    std::tm at{};
    at.tm_year = fields[0];
    at.tm_mon = fields[1];
    at.tm_mday = fields[2];
    at.tm_hour = fields[3];
    at.tm_min = fields[4];
    at.tm_sec = fields[5];
    const std::string header = chat::teacherHeader(at);
    if (header.empty() || header.back() != '\n')
        __builtin_trap();

    const std::string text(reinterpret_cast<const char*>(data) + kTimeBytes, size - kTimeBytes);
    const std::string wire = chat::wireText(text);
    if (chat::withinLineLimit(text) && !chat::fitsChatRequest(wire))
        __builtin_trap(); // a line the window lets through must fit its request
    return 0;
}
