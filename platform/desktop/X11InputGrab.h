// Active grabs of the X server's keyboard and pointer for one window of the agent, and what the
// server tells of that window: while the grabs stand, no key or click reaches the window manager
// (its Alt+F4, Alt+Tab, desktop switch) or another program, and events meant for the agent's own
// windows still go to them; another program may still unmap, move or resize the window (it
// bypasses the manager), which its own structure events tell. Main thread, on Qt's own
// connection; does nothing on other platforms.
#pragma once

#include <cstdint>

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

// What one event of Qt's connection is, and the window it is reported to.
enum class EventKind {
    Other,
    // A press, release, motion, crossing or touch of the pointer, core or XInput 2.
    Pointer,
    // The window itself was mapped, unmapped, moved, resized or restacked.
    Structure,
};
struct EventTarget {
    EventKind kind = EventKind::Other;
    std::uint32_t window = 0;
};
// The XInput extension's major opcode on Qt's connection, 0 without it (asks the server).
std::uint8_t xinputOpcode();
// event is an xcb_generic_event_t of Qt's connection, as a native event filter sees it.
EventTarget classifyEvent(const void* event, std::uint8_t xinputOpcode);

// Whether the server shows window (mapped, and its parents too). Asks the server.
bool isViewable(const QWidget* window);
// Maps window again after another client unmapped it: Qt still takes it for shown, so its own
// show would do nothing.
void mapAgain(const QWidget* window);

} // namespace desktop::x11
