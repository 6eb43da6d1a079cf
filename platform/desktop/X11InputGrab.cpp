#include "platform/desktop/X11InputGrab.h"

#include "platform/desktop/X11Desktop.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace desktop::x11 {
namespace {

// Outside the agent's windows the grab window takes the presses and releases, so a click on
// another program or the manager's frames does nothing; motion is not asked for, as nothing uses it.
constexpr std::uint16_t kGrabbedPointerEvents = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE;
// owner_events: an event inside one of the agent's own windows is reported to that window as
// usual (the message box and the overlay above the lock keep their clicks and keys).
constexpr std::uint8_t kOwnerEvents = 1;

// The high bit of an event's type marks events sent by a client (SendEvent).
constexpr std::uint8_t kSentEventBit = 0x80;

xcb_connection_t* grabConnection() {
    if (!active())
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

GrabResult fromStatus(std::uint8_t status) {
    switch (status) {
    case XCB_GRAB_STATUS_SUCCESS:
        return GrabResult::Taken;
    case XCB_GRAB_STATUS_ALREADY_GRABBED:
    case XCB_GRAB_STATUS_FROZEN:
    case XCB_GRAB_STATUS_INVALID_TIME: // a grab of another client made later than "now" was read
        return GrabResult::Busy;
    case XCB_GRAB_STATUS_NOT_VIEWABLE:
        return GrabResult::NotViewable;
    default:
        return GrabResult::Failed;
    }
}

template <typename Reply>
GrabResult resultOf(Reply* raw) {
    std::unique_ptr<Reply, decltype(&std::free)> reply(raw, &std::free); // xcb replies are malloc'ed
    return reply ? fromStatus(reply->status) : GrabResult::Failed;
}

} // namespace

GrabResult grabKeyboard(const QWidget* window) {
    xcb_connection_t* c = grabConnection();
    if (!c || !window || !window->internalWinId())
        return GrabResult::Failed;
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    return resultOf(xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, kOwnerEvents, id, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
}

GrabResult grabPointer(const QWidget* window) {
    xcb_connection_t* c = grabConnection();
    if (!c || !window || !window->internalWinId())
        return GrabResult::Failed;
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    return resultOf(xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, kOwnerEvents, id, kGrabbedPointerEvents, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
        nullptr));
}

void releaseKeyboardAndPointer() {
    xcb_connection_t* c = grabConnection();
    if (!c)
        return;
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    // Given back now, not when Qt next flushes: the student may type at once.
    xcb_flush(c);
}

EventTarget classifyEvent(const void* event) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    switch (generic->response_type & ~kSentEventBit) {
    case XCB_MAP_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_map_notify_event_t*>(event)->window};
    case XCB_UNMAP_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_unmap_notify_event_t*>(event)->window};
    case XCB_CONFIGURE_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_configure_notify_event_t*>(event)->window};
    default:
        return {};
    }
}

bool isViewable(const QWidget* window) {
    xcb_connection_t* c = grabConnection();
    if (!c || !window || !window->internalWinId())
        return false;
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &std::free);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

void mapAgain(const QWidget* window) {
    xcb_connection_t* c = grabConnection();
    if (!c || !window || !window->internalWinId())
        return;
    xcb_map_window(c, static_cast<xcb_window_t>(window->internalWinId()));
    xcb_flush(c);
}

} // namespace desktop::x11
