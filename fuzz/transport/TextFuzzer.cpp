// Text decoding and splitting on arbitrary input: wire units to UTF-8 and back, UTF-8 to wire
// units, and the comma splitter.
#include "transport/CUtil.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint16_t> units(size / 2);
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    std::string text;
    if (transport::WireUnitsToUtf8(units.data(), units.size(), text)) {
        std::vector<std::uint16_t> back;
        if (!transport::Utf8ToWireUnits(text, back))
            __builtin_trap(); // what decoded must encode again
        std::string again;
        if (!transport::WireUnitsToUtf8(back.data(), back.size(), again) || again != text)
            __builtin_trap();
    }
    std::string raw(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint16_t> encoded;
    transport::Utf8ToWireUnits(raw, encoded);
    int count = 0;
    auto fields = transport::SplitString(raw, ',', count);
    if ((fields == nullptr) != (count == 0))
        __builtin_trap();
    return 0;
}
