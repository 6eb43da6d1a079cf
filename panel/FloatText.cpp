#include "panel/FloatText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace panel {
namespace {

constexpr int kDecimals = 6; // "%f"
constexpr std::size_t kMaxFormatted = 400;

} // namespace

std::string formatFloat(double value) {
    char buffer[kMaxFormatted];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, kDecimals);
    if (ec != std::errc())
        return "0.000000";
    return std::string(buffer, end);
}

float floatValue(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n'))
        ++at;
    if (at < text.size() && text[at] == '+')
        ++at;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too small reads as 0, too large saturates, as the system's text reading does.
        const std::string_view number(text.data() + at, static_cast<std::size_t>(end - (text.data() + at)));
        if (number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos)
            return 0.0f;
        return number.starts_with('-') ? -HUGE_VALF : HUGE_VALF;
    }
    if (ec != std::errc())
        return 0.0f;
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return value < 0 ? -HUGE_VALF : HUGE_VALF;
    return static_cast<float>(value);
}

} // namespace panel
