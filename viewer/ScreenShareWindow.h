// The viewer's borderless full-screen window: takes the keyboard and, while the teacher allows
// answers, posts the student's keys as "POST_MSG_KEYBOARD_DATA" key texts. Auto-repeated releases
// are ignored, and losing the keyboard lets go of every held modifier, so the teacher never sees a
// key stuck down. Main thread.
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/desktop/Window.h"
#include "viewer/ScanCodeKeyboard.h"

#include <functional>

namespace viewer {

class ScreenShareWindow : public desktop::Window {
public:
    // X's modifier state bit of Caps Lock, as the key event carries it (before the event).
    static constexpr quint32 kXLockMask = 0x2;

    explicit ScreenShareWindow(platform::NotificationCenter& center);

    // Asked at every event: whether the teacher allows answers.
    std::function<bool()> answersEnabled;
    const ScanCodeKeyboard& keyboard() const { return m_keyboard; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool answers() const { return answersEnabled && answersEnabled(); }
    void flagsChanged(int keyCode, std::uint64_t flags);
    void post(const std::optional<std::string>& command);

    platform::NotificationCenter& m_center;
    ScanCodeKeyboard m_keyboard;
};

} // namespace viewer
