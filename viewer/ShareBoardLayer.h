// The share-board strokes over the teacher's screen: what the student draws with the note tool's
// pen or eraser in the share-board mode, shown over the canvas and sent to the teacher as a stroke
// packet when the button is released. The pen settings are the note-tool panel's, read at each use.
// Main thread (the viewer's view).
#pragma once

#include "panel/NoteToolSettings.h"
#include "streaming/ShareBoardStroke.h"

#include <QPointF>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace viewer {

// The eraser's line on the teacher's screen: wide translucent white (nothing beneath is removed).
constexpr float kShareEraserWidth = 15.0f;
constexpr double kShareEraserAlpha = 0.7;

class ShareBoardLayer {
public:
    struct Context {
        std::shared_ptr<panel::NoteToolSettings> pen; // null: no panel, nothing is drawn
        int viewHeight = 0;                           // for the bottom-left points of a stroke
    };

    // The handlers; each answers the area of the view to repaint (empty: nothing changed).
    QRect down(const QPointF& at, const Context& context);
    QRect dragged(const QPointF& at, const Context& context);
    // Ends the stroke and answers it for sending (empty when no stroke was open); the layer is empty again.
    streaming::Stroke up(const QPointF& at, const Context& context);
    void draw(QPainter& painter, const Context& context) const;
    const std::vector<streaming::Stroke>& strokes() const { return m_brushStrokeList; }

    // Sends a finished stroke with the panel's settings through the login's client (on its direct
    // link): the slot from the settings at this moment, the teacher's canvas from the open viewer.
    // Answers the packets queued (none without a client).
    static std::size_t sendStokePacket(const streaming::Stroke& stroke, const panel::NoteToolSettings& pen,
                                       const streaming::CanvasSizes& sizes,
                                       const std::shared_ptr<client::StudentClient>& studentClient);

private:
    QRect area(const QPointF& from, const QPointF& to, const Context& context) const;

    std::vector<streaming::Stroke> m_brushStrokeList;
    bool m_bStrokeOpen = false;
};

} // namespace viewer
