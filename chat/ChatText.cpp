#include "chat/ChatText.h"

#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/StudentClient.h"
#include "platform/LocalTime.h"

#include <cstdio>

namespace chat {
std::string teacherHeader(const std::tm& local) {
    char text[128];
    std::snprintf(text, sizeof text, "[%lld-%02d-%02d %d:%02d:%02d]%s From Olvex Teacher\n",
                  platform::calendarYear(local), platform::calendarMonth(local), local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, "");
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

} // namespace chat
