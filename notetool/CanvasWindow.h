// The drawing canvas of the capture and white boards: a full-screen see-through window at the
// canvas level below the panel, showing the board's background (a still of the screen or a white
// page), the flattened ink over it, and on top the pen stroke in progress. The pen settings are the
// note-tool panel's, read at each use. Made by identifier "canvasWindow", one per board opening;
// closing it drops its ink. Main thread only.
#pragma once

#include "panel/NoteToolSettings.h"
#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"
#include "streaming/ShareBoardStroke.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace notetool {

// The square the eraser clears, centred on the pointer.
constexpr double kEraserSide = 30.0;

class CanvasWindow : public desktop::Window {
public:
    CanvasWindow();
};

// Shows one picture, either the background (cropped to the view from the bottom up, as the screen
// lies under a canvas that leaves the menu bar free) or the ink (at the view's size).
class ImagePane : public QWidget {
public:
    enum class Fit { BottomCrop, Stretch };
    ImagePane(Fit fit, QWidget* parent);
    void setImage(QImage image);
    const QImage& image() const { return m_image; }
    // Draws into the picture in place (no copy of a full-screen image) and repaints the area.
    void edit(const std::function<void(QImage&)>& change, const QRect& area);
    // The part of a background picture that a view of viewSize points shows.
    static QRectF sourceRect(const QImage& picture, QSizeF viewSize);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Fit m_fit;
    QImage m_image;
};

class CanvasViewController;

// Pen strokes in progress, the eraser and the cursor. Points are kept bottom-left, as the share
// board keeps them.
class CanvasView : public QWidget {
public:
    CanvasView(CanvasViewController& controller, QWidget* parent,
               platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // The handlers, with a location in the view's own (top-left) coordinates.
    void mouseDown(QPointF at);
    void mouseDragged(QPointF at);
    void mouseUp(QPointF at);
    // The strokes drawn into a transparent picture of the view's size.
    QImage getCurrentViewImage() const;
    const std::vector<streaming::Stroke>& strokes() const { return m_brushStrokeList; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<panel::NoteToolSettings> pen() const;
    streaming::MyPoint toPoint(QPointF at) const;
    QPointF toView(const streaming::MyPoint& p) const;
    void drawStrokes(QPainter& painter) const;
    // The area the strokes cover, widened by the pen.
    QRect strokesArea() const;
    // The area a new segment touches, widened by the pen.
    QRect segmentArea(QPointF from, QPointF to) const;

    CanvasViewController& m_controller;
    platform::ObserverSet m_observers;
    std::vector<streaming::Stroke> m_brushStrokeList;
    bool m_bStrokeOpen = false;
};

class CanvasViewController : public desktop::ViewController {
public:
    explicit CanvasViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~CanvasViewController() override;

    void viewDidLoad() override;

    ImagePane* getImageView() const { return m_imageViewCanvas; }
    ImagePane* getImageViewBoard() const { return m_imageViewBoard; }
    CanvasView* canvasView() const { return m_canvasView; }
    // Adds a picture of new ink over the ink.
    void setImageViewBoard(const QImage& ink);
    // Draws finished strokes straight over the ink: the same picture as drawing them into a clear
    // picture and adding that, without two full-screen pictures per stroke.
    void addInk(const std::function<void(QPainter&)>& draw, const QRect& area);
    // Clears a w x h square of the ink centred on (x, y) in view coordinates (top-left).
    void setImageClearFromRect(double x, double y, double w, double h);
    void setImageClear();
    // The background with the ink over it, at the view's size (twice that on a high-density
    // screen); null without a canvas.
    QImage getImageFromCanvas() const;
    void memoryClear();
    void callbackCaptureBoardRemoveAll();

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    platform::NotificationCenter& m_pNotificationCenter;
    platform::ObserverSet m_observers;
    QPointer<ImagePane> m_imageViewCanvas;
    QPointer<ImagePane> m_imageViewBoard;
    QPointer<CanvasView> m_canvasView;
};

class CanvasWindowController : public desktop::WindowController {
public:
    CanvasWindowController();

protected:
    void windowDidLoad() override;
    void windowDidClose() override;
};

void registerCanvasWindow();

} // namespace notetool
