// Active grabs of the X server's keyboard and pointer for one window of the agent: while they
// stand, no key or click reaches the window manager (its Alt+F4, Alt+Tab, desktop switch) or
// another program, and events meant for the agent's own windows still go to them. Main thread, on
// Qt's own connection; does nothing on other platforms.
#pragma once

class QWidget;

namespace desktop::x11 {

enum class GrabResult {
    Taken,
    // Another client holds an active grab, or the device is frozen by one: try again later.
    Busy,
    // The window is not yet (or no longer) viewable: try again once it is mapped.
    NotViewable,
    // No X server, no window, or the server refused the request outright.
    Failed,
};

// Takes the keyboard (pointer) for window. Asking again while holding it is harmless.
GrabResult grabKeyboard(const QWidget* window);
GrabResult grabPointer(const QWidget* window);
// Gives both back at once (nothing happens for a device this client does not hold).
void releaseKeyboardAndPointer();

} // namespace desktop::x11
