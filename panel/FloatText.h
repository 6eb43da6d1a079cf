// Numbers as the windows' dictionaries carry them: written "%f" style (six decimals) and read the
// way a text's float value is read (leading blanks skipped, the longest number prefix taken,
// anything unreadable is 0). Both ignore the C locale, which Qt sets from the environment and which
// could make the decimal point a comma. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace panel {

std::string formatFloat(double value);
float floatValue(std::string_view text);

} // namespace panel
