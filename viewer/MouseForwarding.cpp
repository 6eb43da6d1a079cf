#include "viewer/MouseForwarding.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace viewer {

namespace {
// Truncation toward zero that never leaves the int range (a hostile teacher size cannot overflow).
int truncated(double value) {
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    if (t >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (t <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(t);
}
} // namespace

std::string mouseText(double x, double y, int message, const MouseGeometry& g) {
    const int tx = g.clientWidth > 0 ? truncated(x * g.serverWidth / g.clientWidth) : 0;
    const int ty = g.clientHeight > 0 ? truncated((g.clientHeight - y) * g.serverHeight / g.clientHeight) : 0;
    char text[48];
    std::snprintf(text, sizeof(text), "%d,%d,%d", tx, ty, message);
    return text;
}

std::string wheelText(double deltaY) {
    const long long units = static_cast<long long>(truncated(deltaY)) * kWheelUnitsPerLine;
    char text[48];
    std::snprintf(text, sizeof(text), "0,%lld,%d", units, mousemsg::kWheel);
    return text;
}

} // namespace viewer
