// The settings file's text: a JSON object of the suite's values (data values as
// {"$data": "<base64>"}) and of entries this version does not read, kept as found. Pure functions
// on caller-owned values; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

namespace platform {

using SettingsValue = std::variant<std::string, std::int64_t, double, bool, std::vector<std::uint8_t>>;
// File entries this version does not read (arrays, nested objects): written back unchanged.
using SettingsForeign = std::map<std::string, nlohmann::json>;

struct SettingsContents {
    std::map<std::string, SettingsValue> values;
    SettingsForeign foreign;
};

// Our own entries nest two levels (the file's object, a data value's object); anything past this
// is damage or an attack, and copying or writing such a value back would recurse once per level.
constexpr std::size_t kMaxSettingsDepth = 32;

enum class SettingsTextStatus {
    Read,        // contents filled
    TooDeep,     // a value nests deeper than kMaxSettingsDepth; contents untouched
    NotAnObject, // not JSON, or JSON but not an object; contents untouched
};

// Reads a file's text into contents (adding to what they hold).
SettingsTextStatus readSettingsText(const std::string& text, SettingsContents& contents);
// The file's text for contents; foreign entries first, a value of the same key wins over them.
std::string settingsText(const SettingsContents& contents);

} // namespace platform
