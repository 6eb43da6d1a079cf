// Share-board strokes: the point of a pen stroke and the filling of stroke packets for the teacher (view
// points to teacher-canvas points, split so that no packet outgrows its request); the session's client
// sends them. Plain functions; any thread.
#pragma once

#include "client/StudentClient.h"
#include "streaming/PenColours.h"
#include "transport/PacketData.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace streaming {

// A point of a pen stroke in view coordinates (origin bottom-left).
class MyPoint {
public:
    struct NSPoint {
        double x = 0.0;
        double y = 0.0;
    };
    MyPoint() = default;
    explicit MyPoint(NSPoint point) : myNSPoint_(point) {}
    MyPoint(double x, double y) : myNSPoint_{x, y} {}
    NSPoint myNSPoint() const { return myNSPoint_; }
    float x() const { return static_cast<float>(myNSPoint_.x); }
    float y() const { return static_cast<float>(myNSPoint_.y); }

private:
    NSPoint myNSPoint_;
};
using Stroke = std::vector<MyPoint>;

// Pen tools as the note-tool panel numbers them, and the tool number the console knows the eraser by.
constexpr int kToolPen = 0;
constexpr int kToolEraser = 1;
constexpr int kToolEraseAll = 2;
constexpr std::int32_t kWireToolPen = 0;
constexpr std::int32_t kWireToolEraser = 4;

// Translucent (highlighter) strokes are drawn at this alpha.
constexpr double kBlendAlpha = 0.4;
constexpr double kOpaqueAlpha = 1.0;

// No pen is wider than this many pixels (the panel offers 2 to 12); wider settings are clamped.
constexpr float kMaxStrokeThickness = 1024.0f;
// A pen width as the wire and the drawing take it: trunc(thickness), clamped to 0..1024; 0 for a
// width that is not a number.
std::int32_t strokeThickness(float thickness);

// trunc(position x canvas / view) in single precision; 0 for an empty view.
std::int32_t convertToServerCanvasPos(float position, int drawSize, int screenSize);

// The pen settings of the note-tool panel at the moment a stroke is sent.
struct PenState {
    int toolMode = kToolPen;
    float thickness = 2.0f;
    int thicknessMode = 0;
    bool blend = false;
    int colorMode = 1;
};
struct CanvasSizes {
    int viewWidth = 0;
    int viewHeight = 0;
    int canvasWidth = 0;
    int canvasHeight = 0;
};

// The request the client builds a stroke packet in, and how many points fit in it.
constexpr std::size_t kStrokeRequestBytes = client::StudentClient::kStrokeRequestBytes;
constexpr std::size_t kStrokePointBytes = 8;
constexpr std::size_t kStrokeHeaderBytes = 29;
constexpr std::size_t kMaxStrokePointsPerRequest =
    (kStrokeRequestBytes - kStrokeHeaderBytes) / kStrokePointBytes;

// The packets of one stroke: the press point (index 0) is not sent; the others are scaled to the
// teacher's canvas with the y axis flipped (the teacher's origin is top-left). A stroke with more
// points than one request holds is cut into several, each after the first starting with the last
// point of the one before, so the teacher's line has no gap. A one-point stroke gives one packet
// with no points. maxPoints below 2 is taken as 2.
std::vector<transport::StrokeData> makeStrokePackets(const Stroke& stroke, const PenState& pen,
                                                     std::int32_t slot, const CanvasSizes& sizes,
                                                     std::size_t maxPoints = kMaxStrokePointsPerRequest);

} // namespace streaming
