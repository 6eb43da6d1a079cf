#include "viewer/ShareBoardLayer.h"

#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "panel/StrokePainting.h"
#include "platform/UserDefaults.h"

#include <QPainter>
#include <climits>

namespace viewer {
namespace {

constexpr int kPointerMode = 0;
constexpr int kCaptureBoardMode = 2;
using panel::strokes::toPoint;
using panel::strokes::toView;

bool drawingTool(int tool) {
    return tool == streaming::kToolPen || tool == streaming::kToolEraser;
}

float lineWidth(const panel::NoteToolSettings& pen) {
    return pen.getToolMode() == streaming::kToolEraser ? kShareEraserWidth : pen.getThickness();
}

} // namespace

QRect ShareBoardLayer::area(const QPointF& from, const QPointF& to, const Context& context) const {
    return panel::strokes::segmentArea(from, to, lineWidth(*context.pen));
}

QRect ShareBoardLayer::down(const QPointF& at, const Context& context) {
    if (!context.pen || context.pen->getMode() == kPointerMode || !drawingTool(context.pen->getToolMode()))
        return {};
    m_brushStrokeList.push_back({toPoint(at, context.viewHeight)});
    m_bStrokeOpen = true;
    return area(at, at, context);
}

QRect ShareBoardLayer::dragged(const QPointF& at, const Context& context) {
    if (!context.pen || !m_bStrokeOpen || m_brushStrokeList.empty())
        return {};
    const int mode = context.pen->getMode();
    if (mode == kPointerMode || mode == kCaptureBoardMode || !drawingTool(context.pen->getToolMode()))
        return {};
    streaming::Stroke& current = m_brushStrokeList.back();
    const QPointF last = toView(current.back(), context.viewHeight);
    current.push_back(toPoint(at, context.viewHeight));
    return area(last, at, context);
}

streaming::Stroke ShareBoardLayer::up(const QPointF& at, const Context& context) {
    if (!context.pen || !m_bStrokeOpen || m_brushStrokeList.empty())
        return {};
    const int mode = context.pen->getMode();
    if (mode == kPointerMode || mode == kCaptureBoardMode)
        return {};
    streaming::Stroke finished = std::move(m_brushStrokeList.back());
    finished.push_back(toPoint(at, context.viewHeight));
    // Sent strokes leave the layer; the next press starts afresh.
    m_brushStrokeList.clear();
    m_bStrokeOpen = false;
    return finished;
}

void ShareBoardLayer::draw(QPainter& painter, const Context& context) const {
    if (!context.pen || m_brushStrokeList.empty())
        return;
    const panel::NoteToolSettings& pen = *context.pen;
    const QColor colour = pen.getToolMode() == streaming::kToolEraser
                              ? QColor::fromRgbF(1, 1, 1, static_cast<float>(kShareEraserAlpha))
                              : panel::strokes::penColour(pen.getColorMode(), pen.getIsBlend());
    panel::strokes::drawStrokes(painter, m_brushStrokeList, colour, lineWidth(pen), context.viewHeight,
                                panel::strokes::SinglePoint::Nothing);
}

std::size_t ShareBoardLayer::sendStokePacket(const streaming::Stroke& stroke,
                                             const panel::NoteToolSettings& pen,
                                             const streaming::CanvasSizes& sizes,
                                             const std::shared_ptr<client::StudentClient>& studentClient) {
    if (!studentClient || stroke.empty())
        return 0;
    // Read at each send: a slot changed in the settings after login is used from the next stroke.
    const std::int64_t slot = platform::UserDefaults::suite()->integerValue(client::settings::kSlot);
    const streaming::PenState state{pen.getToolMode(), pen.getThickness(), pen.getThicknessMode(),
                                    pen.getIsBlend(), pen.getColorMode()};
    const auto packets = streaming::makeStrokePackets(
        stroke, state, slot < INT_MIN || slot > INT_MAX ? 0 : static_cast<std::int32_t>(slot), sizes);
    // No direct link (relay mode): nothing goes.
    return studentClient->sendStrokePackets(packets);
}

} // namespace viewer
