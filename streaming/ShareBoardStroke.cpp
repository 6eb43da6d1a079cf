#include "streaming/ShareBoardStroke.h"

#include <algorithm>
#include <cmath>

namespace streaming {

std::int32_t convertToServerCanvasPos(float position, int drawSize, int screenSize) {
    if (drawSize == 0)
        return 0;
    const float scaled = position * static_cast<float>(screenSize) / static_cast<float>(drawSize);
    if (!std::isfinite(scaled))
        return 0;
    return static_cast<std::int32_t>(std::trunc(std::clamp(scaled, -2.0e9f, 2.0e9f)));
}

std::int32_t strokeThickness(float thickness) {
    // A pen width comes from the panel's settings as a float: one out of range (or not a number)
    // must not reach a conversion to int, which would be undefined.
    if (!std::isfinite(thickness))
        return 0;
    return static_cast<std::int32_t>(std::trunc(std::clamp(thickness, 0.0f, kMaxStrokeThickness)));
}

std::vector<transport::StrokeData> makeStrokePackets(const Stroke& stroke, const PenState& pen,
                                                     std::int32_t slot, const CanvasSizes& sizes,
                                                     std::size_t maxPoints) {
    maxPoints = std::max<std::size_t>(maxPoints, 2);
    transport::StrokeData head;
    head.nSlot = slot;
    head.nTool = pen.toolMode == kToolEraser ? kWireToolEraser : kWireToolPen;
    head.nThickness = strokeThickness(pen.thickness);
    head.nThicknessMode = pen.thicknessMode;
    head.bBlend = pen.blend;
    head.nColor = penColourValue(pen.colorMode);

    std::vector<transport::StrokeData::Point> points;
    for (std::size_t i = 1; i < stroke.size(); ++i) {
        const MyPoint& p = stroke[i];
        points.push_back({convertToServerCanvasPos(p.x(), sizes.viewWidth, sizes.canvasWidth),
                          convertToServerCanvasPos(static_cast<float>(sizes.viewHeight) - p.y(),
                                                   sizes.viewHeight, sizes.canvasHeight)});
    }

    std::vector<transport::StrokeData> packets;
    if (points.size() <= maxPoints) {
        packets.push_back(head);
        packets.back().points = std::move(points);
        return packets;
    }
    // Each further packet repeats the last point of the one before, so it carries maxPoints - 1 new ones.
    std::size_t start = 0;
    while (start + 1 < points.size()) {
        const std::size_t end = std::min(points.size(), start + maxPoints);
        packets.push_back(head);
        packets.back().points.assign(points.begin() + static_cast<std::ptrdiff_t>(start),
                                     points.begin() + static_cast<std::ptrdiff_t>(end));
        start = end - 1;
    }
    return packets;
}

} // namespace streaming
