#include "viewer/ShareBoardLayer.h"

#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "platform/UserDefaults.h"
#include "transport/TCPServerClient.h"

#include <QPainter>
#include <QPainterPath>
#include <climits>
#include <cmath>

namespace streaming {
namespace {

constexpr int kPointerMode = 0;
constexpr int kCaptureBoardMode = 2;
constexpr int kRepaintMargin = 2;

MyPoint toPoint(const QPointF& at, int viewHeight) {
    return {at.x(), viewHeight - at.y()};
}

QPointF toView(const MyPoint& p, int viewHeight) {
    return {p.myNSPoint().x, viewHeight - p.myNSPoint().y};
}

bool drawingTool(int tool) {
    return tool == kToolPen || tool == kToolEraser;
}

float lineWidth(const panel::NoteToolSettings& pen) {
    return pen.getToolMode() == kToolEraser ? kShareEraserWidth : pen.getThickness();
}

} // namespace

QRect ShareBoardLayer::area(const QPointF& from, const QPointF& to, const Context& context) const {
    // Clamped first: a width out of range must not reach a conversion to int.
    const int reach = (strokeThickness(std::ceil(lineWidth(*context.pen))) + 1) / 2 + kRepaintMargin;
    return QRectF(from, to).normalized().toAlignedRect().adjusted(-reach, -reach, reach, reach);
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
    Stroke& current = m_brushStrokeList.back();
    const QPointF last = toView(current.back(), context.viewHeight);
    current.push_back(toPoint(at, context.viewHeight));
    return area(last, at, context);
}

Stroke ShareBoardLayer::up(const QPointF& at, const Context& context) {
    if (!context.pen || !m_bStrokeOpen || m_brushStrokeList.empty())
        return {};
    const int mode = context.pen->getMode();
    if (mode == kPointerMode || mode == kCaptureBoardMode)
        return {};
    Stroke finished = std::move(m_brushStrokeList.back());
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
    QColor colour;
    if (pen.getToolMode() == kToolEraser) {
        colour = QColor::fromRgbF(1, 1, 1, static_cast<float>(kShareEraserAlpha));
    } else {
        const PenColour c = penColour(pen.getColorMode());
        colour = QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                                  static_cast<float>(c.blue),
                                  static_cast<float>(pen.getIsBlend() ? kBlendAlpha : kOpaqueAlpha));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, lineWidth(pen), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const Stroke& stroke : m_brushStrokeList) {
        if (stroke.empty())
            continue;
        QPainterPath path(toView(stroke.front(), context.viewHeight));
        for (std::size_t i = 1; i < stroke.size(); ++i)
            path.lineTo(toView(stroke[i], context.viewHeight));
        painter.drawPath(path);
    }
}

std::size_t ShareBoardLayer::sendStokePacket(const Stroke& stroke, const panel::NoteToolSettings& pen,
                                             const CanvasSizes& sizes) {
    auto hub = panel::AppDelegate::shared().getMainViewController();
    auto studentClient = hub ? hub->getStudentClient() : nullptr;
    auto link = studentClient ? studentClient->getMVConn() : nullptr;
    if (!link || stroke.empty())
        return 0; // no direct link (relay mode): nothing goes
    // Read at each send: a slot changed in the settings after login is used from the next stroke.
    const std::int64_t slot = platform::UserDefaults::suite()->integerValue(client::settings::kSlot);
    const PenState state{pen.getToolMode(), pen.getThickness(), pen.getThicknessMode(), pen.getIsBlend(),
                         pen.getColorMode()};
    const auto packets = makeStrokePackets(
        stroke, state, slot < INT_MIN || slot > INT_MAX ? 0 : static_cast<std::int32_t>(slot), sizes);
    return sendStrokePackets(*link, packets);
}

} // namespace streaming
