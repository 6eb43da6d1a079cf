#include "startup/ScreenCapturePermission.h"

#include "platform/Log.h"
#include "platform/X11Display.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace startup {
namespace {

constexpr std::uint16_t kProbeSize = 1; // one pixel of the root window
constexpr std::uint32_t kAllPlanes = ~0u;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); } // xcb replies are malloc'ed
};

bool rootWindowCaptures() {
    std::string reason;
    std::unique_ptr<platform::X11Display> display = platform::X11Display::open({}, reason);
    if (!display) {
        platform::logf("[ZQ]No X11 display to capture: %s.", reason.c_str());
        return false;
    }
    xcb_connection_t* connection = display->connection();
    xcb_get_image_cookie_t cookie =
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, display->screen()->root, 0, 0, kProbeSize,
                      kProbeSize, kAllPlanes);
    xcb_generic_error_t* rawError = nullptr;
    std::unique_ptr<xcb_get_image_reply_t, FreeReply> reply(
        xcb_get_image_reply(connection, cookie, &rawError));
    std::unique_ptr<xcb_generic_error_t, FreeReply> error(rawError);
    if (error || !reply) {
        platform::logf("[ZQ]Root window capture refused (X error %d).", error ? error->error_code : 0);
        return false;
    }
    return xcb_get_image_data_length(reply.get()) > 0;
}

} // namespace

bool X11ScreenCapturePermission::isWaylandSession(const char* sessionType, const char* waylandDisplay) {
    if (sessionType && std::strcmp(sessionType, "wayland") == 0)
        return true;
    return waylandDisplay && waylandDisplay[0] != '\0';
}

bool X11ScreenCapturePermission::preflight() {
    if (isWaylandSession(std::getenv("XDG_SESSION_TYPE"), std::getenv("WAYLAND_DISPLAY"))) {
        platform::logf("[ZQ]Wayland session: screen capture needs an X11 session.");
        return false;
    }
    return rootWindowCaptures();
}

bool X11ScreenCapturePermission::requestAccess() {
    // X11 has no consent prompt: asking again is checking again. A later success still takes a
    // restart, as the capture pipeline is only made at start-up.
    const bool allowed = preflight();
    platform::logf("[ZQ]Screen capture %s.",
                   allowed ? "allowed; restart to share the screen" : "not allowed");
    return allowed;
}

void X11ScreenCapturePermission::openPrivacySettings() {
    // No desktop setting grants capture to a Wayland client; the window's text names the remedy.
    platform::logf("[ZQ]Screen capture is granted by logging in to an X11 session.");
}

} // namespace startup
