#include "streaming/ShareBoardStroke.h"

#include "platform/Log.h"
#include "transport/TCPServerClient.h"

#include <algorithm>
#include <cmath>

namespace streaming {
namespace {

constexpr double kChannelMax = 255.0;
constexpr std::uint64_t kGreenShift = 256;
constexpr std::uint64_t kBlueShift = 65536;
constexpr int kLastColourMode = 8;

// Brown is written with single-precision constants, which the channel values keep (0x99, 0x66, 0x33).
constexpr PenColour kColours[kLastColourMode + 1] = {
    {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 1, 1},          {1, 1, 0},
    {1, 0, 1}, {0, 1, 0}, {0, 1, 1}, {0.6f, 0.4f, 0.2f},
};

std::uint64_t channel(double component) {
    return static_cast<std::uint64_t>(std::trunc(component * kChannelMax));
}

} // namespace

PenColour penColour(int colorMode) {
    if (colorMode < 0 || colorMode > kLastColourMode)
        return kColours[0];
    return kColours[colorMode];
}

std::uint64_t penColourValue(int colorMode) {
    const PenColour c = penColour(colorMode);
    return channel(c.red) + channel(c.green) * kGreenShift + channel(c.blue) * kBlueShift;
}

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

std::size_t sendStrokePackets(transport::TCPServerClient& link,
                              const std::vector<transport::StrokeData>& packets) {
    std::size_t queued = 0;
    for (const auto& packet : packets) {
        auto request = transport::newRequestData(static_cast<int>(kStrokeRequestBytes));
        if (!request || !transport::TCPServerClient::MakeSendPacket(*request, packet)) {
            platform::logf("[ZQ]Stroke of %zu points not built.", packet.points.size());
            continue;
        }
        if (link.Send(std::move(request)))
            ++queued;
    }
    return queued;
}

} // namespace streaming
