#include "notetool/ScreenStill.h"

#include "platform/Log.h"
#include "streaming/X11ScreenGrabber.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <xcb/xcb.h>

namespace notetool {

void hideAndReachServer(QWidget* window) {
    window->hide();
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return; // no X server (offscreen, Wayland): nothing can see the window in a capture
    // A round trip: the reply comes only after the server has handled the unmap sent before it.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

QImage grabScreenStill() {
    std::string error;
    // GetImage: one picture needs no shared segment.
    auto grabber =
        streaming::X11ScreenGrabber::open({}, streaming::X11ScreenGrabber::Method::GetImage, error);
    if (!grabber) {
        platform::logf("[ZQ]Screen still: %s", error.c_str());
        return {};
    }
    const streaming::ImageView view = grabber->grab(error);
    if (!view.isValid()) {
        platform::logf("[ZQ]Screen still: %s", error.c_str());
        return {};
    }
    // Capture rows are B, G, R, X: the byte order of a 32-bit RGB image on this machine.
    const QImage borrowed(view.data, view.width, view.height, static_cast<qsizetype>(view.stride),
                          QImage::Format_RGB32);
    return borrowed.copy();
}

} // namespace notetool
