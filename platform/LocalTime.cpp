#include "platform/LocalTime.h"

#include <cstdio>

namespace platform {
namespace {

// Room for any stamp made here, with the longest year and fields the types hold.
constexpr std::size_t kStampBytes = 96;

} // namespace

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string dayText(long long year, int month, int day) {
    char text[kStampBytes];
    std::snprintf(text, sizeof text, "%lld-%02d-%02d", year, month, day);
    return text;
}

std::string dayText(const std::tm& local) {
    return dayText(calendarYear(local), calendarMonth(local), local.tm_mday);
}

std::string stampText(const std::tm& local, char separator) {
    char text[kStampBytes];
    std::snprintf(text, sizeof text, "%lld%02d%02d%c%02d%02d%02d", calendarYear(local), calendarMonth(local),
                  local.tm_mday, separator, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace platform
