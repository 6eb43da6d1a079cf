#include "platform/desktop/Geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace desktop {
namespace {

QRect primaryGeometry() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

// Frames come in points that may carry fractions (0.5 * height); Qt takes whole pixels.
int whole(double value) {
    return static_cast<int>(std::lround(value));
}

} // namespace

QRect toQtGeometry(const Frame& frame, const QRect& primaryScreen) {
    const double left = primaryScreen.x() + frame.x;
    // The bottom-left origin sits at the primary screen's bottom edge.
    const double top = primaryScreen.y() + primaryScreen.height() - (frame.y + frame.height);
    return QRect(whole(left), whole(top), whole(frame.width), whole(frame.height));
}

Frame fromQtGeometry(const QRect& geometry, const QRect& primaryScreen) {
    Frame frame;
    frame.x = geometry.x() - primaryScreen.x();
    frame.y = primaryScreen.y() + primaryScreen.height() - (geometry.y() + geometry.height());
    frame.width = geometry.width();
    frame.height = geometry.height();
    return frame;
}

QRect toQtGeometry(const Frame& frame) {
    return toQtGeometry(frame, primaryGeometry());
}
Frame fromQtGeometry(const QRect& geometry) {
    return fromQtGeometry(geometry, primaryGeometry());
}

Frame fitInside(const Frame& frame, const Frame& visible) {
    Frame fitted = frame;
    const double right = visible.x + visible.width;
    const double top = visible.y + visible.height;
    // Right and top edges first, then left and bottom, so the top-left corner wins when the frame
    // is larger than the area.
    fitted.x = std::max(std::min(fitted.x, right - fitted.width), visible.x);
    fitted.y = std::min(std::max(fitted.y, visible.y), top - fitted.height);
    return fitted;
}

double menuBarHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0.0;
    const int inset = screen->availableGeometry().top() - screen->geometry().top();
    return inset > 0 ? inset : 0.0;
}

} // namespace desktop
