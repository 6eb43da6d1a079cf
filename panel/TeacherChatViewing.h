// What the main view controller asks of the chat window, whose window lives in a library of its
// own: to show one teacher line. Implemented by the chat window's view controller, opened by
// identifier "messageWindow"; main thread.
#pragma once

#include <string>

namespace panel {

class TeacherChatViewing {
public:
    // A teacher text that is neither shown nor opens the window.
    static constexpr const char* kNoText = "-1";
    // Teacher lines the chat log shows at most: lines waiting to be shown beyond these go, the
    // oldest first, as the log would drop them.
    static constexpr int kMaxShownTeacherLines = 499;

    virtual ~TeacherChatViewing() = default;
    // A teacher line handed over by the main view controller (kNoText is not shown).
    virtual void callbackOnReceivedTeacherChat(const std::string& text) = 0;
};

} // namespace panel
