// The view that fills the viewer window: draws the teacher's canvas scaled to the view and, while
// the teacher allows answers, posts the student's mouse actions as "POST_MSG_MOUSE_DATA"; in the
// note tool's share-board mode the same handlers draw strokes over the canvas and send each to the
// teacher when it ends. Main thread.
#pragma once

#include "panel/ScreenShareViewing.h"
#include "platform/NotificationCenter.h"
#include "streaming/PlainImage.h"
#include "viewer/MouseForwarding.h"
#include "viewer/ScreenCanvas.h"
#include "viewer/ShareBoardLayer.h"

#include <QImage>
#include <QWidget>
#include <functional>

namespace viewer {

class ScreenShareView : public QWidget {
public:
    explicit ScreenShareView(platform::NotificationCenter& center);

    // Asked at every event: whether the teacher allows answers.
    std::function<bool()> answersEnabled;
    // Asked when a share-board stroke ends: the client it goes to (none: it is not sent).
    panel::ScreenShareViewing::StudentClientSource studentClient;

    // Shows the canvas; dirty is the changed part of it. A canvas of the view's size is drawn from
    // its own memory; any other is scaled into the view's picture, only where it changed. The
    // canvas must stay alive until the next present or clearImage.
    void present(const streaming::PlainImage& canvas, const CanvasRect& dirty);
    void clearImage();
    // The picture the view shows (brought up to date with the canvas when read).
    const QImage& image() const;

    // The geometry of a mouse text now: the student's screen below the menu bar and the teacher's
    // screen from the settings.
    static MouseGeometry currentGeometry();
    // Posts the mouse text of an action at a point of this view (top-left origin), when answers
    // are on.
    void sendMouseData(const QPointF& point, int message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

    // Share-board strokes: a left press starts a stroke, a left drag extends it, the left release
    // ends and sends it; drawStrokes paints them over the canvas. Points are in view coordinates
    // (top-left origin).
    void strokeDown(const QPointF& at);
    void strokeDragged(const QPointF& at);
    void strokeUp(const QPointF& at);
    void drawStrokes(QPainter& painter);
    // The drawing cursors on entering the view.
    void setDrawingCursor();

public:
    const ShareBoardLayer& shareBoard() const { return m_shareBoard; }

private:
    ShareBoardLayer::Context shareBoardContext() const;
    void post(const std::string& text);
    QRect viewRectOf(const CanvasRect& rect) const;
    // Whether the canvas is shown scaled (through m_scaled) rather than one to one.
    bool scaled() const;
    // Scales the canvas's part under area (view coordinates) into a picture of the view's size.
    void scaleInto(std::uint8_t* origin, qsizetype stride, const QRect& area) const;
    // Scales straight into the window's picture being painted; false when the platform's picture
    // is not one the view can write one to one.
    bool paintScaled(QPainter& painter, const QRegion& region);

    platform::NotificationCenter& m_center;
    const streaming::PlainImage* m_canvas = nullptr; // the controller's canvas, while shown
    mutable streaming::PlainImage m_scaled;          // the canvas at the view's size, when they differ
    QImage m_image;                                  // wraps the canvas or m_scaled
    mutable QRect m_stale;                           // the part of m_scaled behind the canvas
    ShareBoardLayer m_shareBoard;
};

} // namespace viewer
