#include "panel/ChatText.h"

#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/StudentClient.h"

#include <algorithm>
#include <cstdio>

namespace panel::chat {
namespace {
constexpr long long kFirstCalendarYear = 1900;
constexpr int kFirstMonth = 1;
constexpr int kMonthsInYear = 12;
} // namespace

std::string teacherHeader(const std::tm& local) {
    // The fields come from a calendar that may hand back anything: the year is widened before the
    // epoch year is added and the month is kept to the calendar's, so neither can overflow.
    const long long year = local.tm_year + kFirstCalendarYear;
    const int month = std::clamp(local.tm_mon, 0, kMonthsInYear - 1) + kFirstMonth;
    char text[128];
    std::snprintf(text, sizeof text, "[%lld-%02d-%02d %d:%02d:%02d]%s From Olvex Teacher\n", year, month,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, "");
    return text;
}

std::string wireText(const std::string& typed) {
    return client::replaceAll(typed + "\n", ",", "&comma;");
}

bool withinLineLimit(const std::string& typed) {
    const auto units = client::utf16UnitCount(typed);
    return units && *units < kMaxLineUnits;
}

bool fitsChatRequest(const std::string& wire) {
    const auto units = client::utf16UnitCount(client::command::studentChat(wire));
    return units && client::StudentClient::kTextFieldOverheadBytes + 2 * *units <=
                        client::StudentClient::kChatRequestBytes;
}

} // namespace panel::chat
