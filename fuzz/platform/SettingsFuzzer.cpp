// The settings file's text as another program, a damaged disk or an attacker may leave it: read
// into values and kept entries, written back, and read again. What was read must write a text
// that reads back to the same values (entries this version does not know come back as found).
#include "platform/Log.h"
#include "platform/SettingsText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool sameValue(const platform::SettingsValue& a, const platform::SettingsValue& b) {
    const double* x = std::get_if<double>(&a);
    const double* y = std::get_if<double>(&b);
    if (x && y && !std::isfinite(*x))
        return true; // written as null, by design; read back as a kept entry
    return a == b;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::setLogSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::SettingsContents first;
    if (platform::readSettingsText(text, first) != platform::SettingsTextStatus::Read)
        return 0;
    const std::string written = platform::settingsText(first);
    platform::SettingsContents second;
    if (platform::readSettingsText(written, second) != platform::SettingsTextStatus::Read)
        __builtin_trap(); // what we write, we read
    for (const auto& [key, value] : first.values) {
        auto found = second.values.find(key);
        if (found == second.values.end() || !sameValue(value, found->second))
            __builtin_trap();
    }
    for (const auto& [key, value] : first.foreign) {
        if (first.values.count(key) == 0 && second.foreign.count(key) == 0 && second.values.count(key) == 0)
            __builtin_trap(); // a kept entry is never lost
    }
    return 0;
}
