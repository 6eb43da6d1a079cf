#include "platform/desktop/X11InputGrab.h"

#include "platform/desktop/X11Desktop.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace desktop::x11 {
namespace {

// Outside the agent's windows the grab window takes the presses and releases, so a click on
// another program or the manager's frames does nothing; motion is not asked for, as nothing uses it.
constexpr std::uint16_t kGrabbedPointerEvents = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE;
// owner_events: an event inside one of the agent's own windows is reported to that window as
// usual, so the message box above the lock keeps its clicks and keys; the holder drops what
// reaches the windows below it (InputGrab.h).
constexpr std::uint8_t kOwnerEvents = 1;

constexpr const char* kXInputName = "XInputExtension";
// XInput 2 device events: the type within the extension, and the window reported to, at the same
// place in every pointer event (XIDeviceEvent, XIEnterEvent) of the wire's first 32 bytes, which
// xcb leaves where they came.
enum XInputEventType : std::uint16_t {
    kXiButtonPress = 4,
    kXiButtonRelease = 5,
    kXiMotion = 6,
    kXiEnter = 7,
    kXiLeave = 8,
    kXiTouchBegin = 18,
    kXiTouchUpdate = 19,
    kXiTouchEnd = 20,
};
struct XInputEventHead {
    std::uint8_t responseType;
    std::uint8_t extension;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint16_t eventType;
    std::uint16_t deviceId;
    std::uint32_t time;
    std::uint32_t detail;
    std::uint32_t root;
    std::uint32_t event;
};
static_assert(offsetof(XInputEventHead, event) == 24, "the XInput 2 event window lies at byte 24");
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

std::uint8_t xinputOpcode() {
    xcb_connection_t* c = grabConnection();
    if (!c)
        return 0;
    std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> reply(
        xcb_query_extension_reply(
            c, xcb_query_extension(c, static_cast<std::uint16_t>(std::strlen(kXInputName)), kXInputName),
            nullptr),
        &std::free);
    return reply && reply->present ? reply->major_opcode : std::uint8_t{0};
}

EventTarget classifyEvent(const void* event, std::uint8_t xinputOpcode) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    switch (generic->response_type & ~kSentEventBit) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
        return {EventKind::Pointer, static_cast<const xcb_button_press_event_t*>(event)->event};
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
        return {EventKind::Pointer, static_cast<const xcb_enter_notify_event_t*>(event)->event};
    case XCB_MAP_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_map_notify_event_t*>(event)->window};
    case XCB_UNMAP_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_unmap_notify_event_t*>(event)->window};
    case XCB_CONFIGURE_NOTIFY:
        return {EventKind::Structure, static_cast<const xcb_configure_notify_event_t*>(event)->window};
    case XCB_GE_GENERIC: {
        const auto* head = static_cast<const XInputEventHead*>(event);
        if (xinputOpcode == 0 || head->extension != xinputOpcode)
            return {};
        switch (head->eventType) {
        case kXiButtonPress:
        case kXiButtonRelease:
        case kXiMotion:
        case kXiEnter:
        case kXiLeave:
        case kXiTouchBegin:
        case kXiTouchUpdate:
        case kXiTouchEnd:
            return {EventKind::Pointer, head->event};
        default:
            return {};
        }
    }
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
