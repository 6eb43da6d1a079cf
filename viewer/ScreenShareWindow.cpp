#include "viewer/ScreenShareWindow.h"

#include "client/ClientEvents.h"
#include "platform/Log.h"

#include <QKeyEvent>

namespace viewer {

namespace {
// The flag a modifier key's press sets.
std::uint64_t flagOf(int keyCode) {
    switch (keyCode) {
    case keycodes::kControl:
    case keycodes::kRightControl:
        return keyflags::kControl;
    case keycodes::kCommand:
    case keycodes::kRightCommand:
        return keyflags::kCommand;
    case keycodes::kOption:
    case keycodes::kRightOption:
        return keyflags::kOption;
    case keycodes::kShift:
    case keycodes::kRightShift:
        return keyflags::kShift;
    default:
        return 0;
    }
}
} // namespace

ScreenShareWindow::ScreenShareWindow(platform::NotificationCenter& center)
    : desktop::Window(Style::Borderless), m_center(center) {
    setSeeThrough(true);
    setFocusPolicy(Qt::StrongFocus);
}

void ScreenShareWindow::post(const std::optional<std::string>& command) {
    if (!command)
        return;
    m_center.post(client::events::kKeyboardData, nullptr,
                  platform::Dictionary{{client::events::kKeyKeyboardData, *command}});
}

void ScreenShareWindow::flagsChanged(int keyCode, std::uint64_t flags) {
    platform::logf("[ZQ]flagsChanged %lu c:%d", static_cast<unsigned long>(flags), keyCode);
    if (!answers())
        return;
    post(m_keyboard.flagsChanged(keyCode, flags));
}

void ScreenShareWindow::keyPressEvent(QKeyEvent* event) {
    const int keyCode = keyCodeFromX(static_cast<int>(event->nativeScanCode()));
    if (isModifierKey(keyCode)) {
        if (event->isAutoRepeat())
            return;
        std::uint64_t flags = flagOf(keyCode);
        // Caps Lock toggles: this press turns it on when X's state had it off.
        if (keyCode == keycodes::kCapsLock && (event->nativeModifiers() & kXLockMask) == 0)
            flags |= keyflags::kCapsLock;
        flagsChanged(keyCode, flags);
        return;
    }
    if (!answers())
        return;
    post(m_keyboard.keyDown(keyCode));
}

void ScreenShareWindow::keyReleaseEvent(QKeyEvent* event) {
    // X repeats a held key as release-press pairs; only the last release is the key's.
    if (event->isAutoRepeat())
        return;
    const int keyCode = keyCodeFromX(static_cast<int>(event->nativeScanCode()));
    if (isModifierKey(keyCode)) {
        if (keyCode != keycodes::kCapsLock)
            flagsChanged(keyCode, 0);
        return;
    }
    if (!answers())
        return;
    const std::uint64_t flags =
        (event->modifiers() & Qt::ControlModifier) != 0 || m_keyboard.isHeld(ScanCodeKeyboard::kControlHeld)
            ? keyflags::kControl
            : 0;
    const QString characters = event->text();
    platform::logf("ScreenShareWindow keyUp %lu %d c:%d", static_cast<unsigned long>(flags),
                   characters.isEmpty() ? 0 : characters.at(0).unicode(), keyCode);
    post(m_keyboard.keyUp(keyCode, flags));
}

void ScreenShareWindow::showEvent(QShowEvent* event) {
    desktop::Window::showEvent(event);
    // A borderless window takes the keyboard only when asked to.
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void ScreenShareWindow::focusOutEvent(QFocusEvent* event) {
    m_keyboard.releaseModifiers();
    desktop::Window::focusOutEvent(event);
}

void ScreenShareWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_keyboard.releaseModifiers();
    desktop::Window::changeEvent(event);
}

} // namespace viewer
