#include "platform/X11InstanceSelection.h"

#include "platform/Log.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace platform {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>; // xcb replies are malloc'ed

template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

constexpr const char* kScreenSuffix = "_S";
constexpr const char* kForwardSuffix = "_FORWARD";
// The owner window is input-only and never mapped: it exists to own the selection and to be
// the address of the forward requests.
constexpr std::int16_t kOwnerPosition = -1;
constexpr std::uint16_t kOwnerSide = 1;
constexpr std::uint32_t kOverrideRedirect = 1;
constexpr std::uint8_t kClientMessageFormat = 32;
// The high bit of an event's type says it came through SendEvent, as every forward request does.
constexpr std::uint8_t kEventTypeMask = 0x7F;

} // namespace

std::unique_ptr<X11InstanceSelection> X11InstanceSelection::claim(const std::string& displayName,
                                                                  const std::string& name, Claim& result,
                                                                  std::string& error) {
    result = Claim::Failed;
    std::unique_ptr<X11Display> display = X11Display::open(displayName, error);
    if (!display)
        return nullptr;
    xcb_connection_t* c = display->connection();
    const std::string selectionName = name + kScreenSuffix + std::to_string(display->screenNumber());
    const std::uint32_t selection = display->atom(selectionName.c_str());
    const std::uint32_t forward = display->atom((name + kForwardSuffix).c_str());
    if (selection == XCB_ATOM_NONE || forward == XCB_ATOM_NONE) {
        error = "the X server gave no atom for " + selectionName;
        return nullptr;
    }
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, display->screen()->root, kOwnerPosition,
                      kOwnerPosition, kOwnerSide, kOwnerSide, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &kOverrideRedirect);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(selectionName.size()), selectionName.data());

    // Two starts at once must not both find the selection free and both take it (the later owner
    // would simply replace the earlier): the look and the claim happen while the server serves
    // this connection alone.
    xcb_grab_server(c);
    auto owner = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    const xcb_window_t running = owner ? owner->owner : xcb_window_t{XCB_WINDOW_NONE};
    if (owner && running == XCB_WINDOW_NONE)
        xcb_set_selection_owner(c, window, selection, XCB_CURRENT_TIME);
    xcb_ungrab_server(c);
    if (!owner) {
        error = "the X server did not say who owns " + selectionName;
        return nullptr;
    }

    if (running != XCB_WINDOW_NONE) {
        xcb_client_message_event_t request{};
        request.response_type = XCB_CLIENT_MESSAGE;
        request.format = kClientMessageFormat;
        request.window = running;
        request.type = forward;
        // No event mask: the server hands the event to the client that made the window.
        xcb_send_event(c, 0, running, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
        xcb_destroy_window(c, window);
        // A round trip: the request is with the server before this start ends and its connection goes.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (display->failed()) {
            error = "the connection to the X server broke";
            return nullptr;
        }
        result = Claim::HeldByAnother;
        return nullptr;
    }

    auto now = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!now || now->owner != window) {
        error = "the X server did not give " + selectionName + " to this start";
        return nullptr;
    }
    std::unique_ptr<X11InstanceSelection> held(new X11InstanceSelection(std::move(display)));
    held->m_window = window;
    held->m_forwardType = forward;
    held->m_holds = true;
    result = Claim::Owned;
    return held;
}

int X11InstanceSelection::fileDescriptor() const {
    return xcb_get_file_descriptor(m_display->connection());
}

int X11InstanceSelection::takeForwardRequests() {
    int requests = 0;
    xcb_connection_t* c = m_display->connection();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        const std::uint8_t type = event->response_type & kEventTypeMask;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (message->window == m_window && message->type == m_forwardType)
                ++requests;
        } else if (type == XCB_SELECTION_CLEAR && m_holds) {
            // Only a client that sets the owner by force gets here; a later start then asks it.
            m_holds = false;
            platform::logf("[ZQ]Another X client took this agent's selection of the display.");
        }
        std::free(event);
    }
    return requests;
}

} // namespace platform
