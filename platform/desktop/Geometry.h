// Window frames as the agent's windows state them: points, origin at the bottom-left corner of the
// primary screen, y growing upwards. Qt places windows with the origin at the top left, y growing
// downwards; this is the one place that converts between the two. Main thread (reads the screens).
#pragma once

#include <QRect>

namespace desktop {

struct Frame {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Frame&) const = default;
};

// Pure conversions against the given primary-screen geometry (Qt coordinates).
QRect toQtGeometry(const Frame& frame, const QRect& primaryScreen);
Frame fromQtGeometry(const QRect& geometry, const QRect& primaryScreen);

// The same against the current primary screen (an empty screen when there is none).
QRect toQtGeometry(const Frame& frame);
Frame fromQtGeometry(const QRect& geometry);

// The frame moved, where needed, to lie wholly inside `visible` (both bottom-left). A frame larger
// than the area keeps its top-left corner inside, where a title bar sits.
Frame fitInside(const Frame& frame, const Frame& visible);

// Top inset of the primary screen's available area: the height of a panel along the top edge,
// 0 without one. The windows subtract it where they would subtract a menu bar.
double menuBarHeight();

} // namespace desktop
