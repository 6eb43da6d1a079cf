#include "panel/StrokePainting.h"

#include "streaming/ShareBoardStroke.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace panel::strokes {

streaming::MyPoint toPoint(QPointF at, int viewHeight) {
    return {at.x(), viewHeight - at.y()};
}

QPointF toView(const streaming::MyPoint& p, int viewHeight) {
    return {p.myNSPoint().x, viewHeight - p.myNSPoint().y};
}

QColor penColour(int colorMode, bool blend) {
    const streaming::PenColour c = streaming::penColour(colorMode);
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                            static_cast<float>(c.blue),
                            static_cast<float>(blend ? streaming::kBlendAlpha : streaming::kOpaqueAlpha));
}

QRect segmentArea(QPointF from, QPointF to, float lineWidth) {
    // Clamped first: a width out of range must not reach a conversion to int.
    const int reach = (streaming::strokeThickness(std::ceil(lineWidth)) + 1) / 2 + kRepaintMargin;
    return QRectF(from, to).normalized().toAlignedRect().adjusted(-reach, -reach, reach, reach);
}

void drawStrokes(QPainter& painter, const std::vector<streaming::Stroke>& strokes, const QColor& colour,
                 float lineWidth, int viewHeight, SinglePoint single) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const streaming::Stroke& stroke : strokes) {
        if (stroke.empty())
            continue;
        QPainterPath path(toView(stroke.front(), viewHeight));
        for (std::size_t i = 1; i < stroke.size(); ++i)
            path.lineTo(toView(stroke[i], viewHeight));
        if (stroke.size() == 1 && single == SinglePoint::Dot)
            path.lineTo(toView(stroke.front(), viewHeight));
        painter.drawPath(path);
    }
}

} // namespace panel::strokes
