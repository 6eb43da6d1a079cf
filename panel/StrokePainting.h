// The drawing both pen surfaces share, the note tool's canvas and the share board over the
// teacher's screen: stroke points (origin bottom-left) from and to a widget's top-left positions,
// the pen's colour, the area a segment repaints, and the painting of strokes. Main thread.
#pragma once

#include "streaming/ShareBoardStroke.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <vector>

class QPainter;

namespace panel::strokes {

// A segment's repaint area is widened by half the line's width and this margin for antialiasing.
constexpr int kRepaintMargin = 2;

streaming::MyPoint toPoint(QPointF at, int viewHeight);
QPointF toView(const streaming::MyPoint& p, int viewHeight);

// The colour of a colour mode, translucent for the blending (highlighter) pen.
QColor penColour(int colorMode, bool blend);

// The area of a segment from `from` to `to` drawn `lineWidth` wide.
QRect segmentArea(QPointF from, QPointF to, float lineWidth);

// What a stroke of one point paints.
enum class SinglePoint {
    Dot,     // a round dot of the line's width
    Nothing, // nothing: the path has no segment
};

// The strokes as antialiased paths with round caps and joins, in `colour`, `lineWidth` wide.
void drawStrokes(QPainter& painter, const std::vector<streaming::Stroke>& strokes, const QColor& colour,
                 float lineWidth, int viewHeight, SinglePoint single);

} // namespace panel::strokes
