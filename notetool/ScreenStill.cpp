#include "notetool/ScreenStill.h"

#include "platform/Log.h"
#include "streaming/X11ScreenGrabber.h"

namespace notetool {

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
