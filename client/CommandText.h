// Reading the parameter text of a teacher command and measuring an outgoing command text.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace client {

// Decimal value of a field as strtol reads it: leading blanks, an optional sign, then digits; no
// digits gives 0. Out-of-range values are clamped to the 32-bit range.
std::int32_t parseInt32(std::string_view text);

// The fields of a parameter text split at ','. A text without a comma is one field (the whole
// text), so an empty body gives one empty field. Empty fields are kept ("a,,b" gives three).
std::vector<std::string> splitFields(std::string_view text);

// Field i of the list, or "" when the body was shorter: a short body gives empty fields
// (numbers 0) and the rest of the handler still runs.
const std::string& fieldAt(const std::vector<std::string>& fields, std::size_t i);

// Number of UTF-16 units the text takes on the wire (characters above U+FFFF take two), or empty
// when the text is not valid UTF-8.
std::optional<std::size_t> utf16UnitCount(std::string_view utf8);

// Every occurrence of `from` replaced by `to`.
std::string replaceAll(std::string text, std::string_view from, std::string_view to);

} // namespace client
