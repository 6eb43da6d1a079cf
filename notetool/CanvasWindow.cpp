#include "notetool/CanvasWindow.h"

#include "notetool/NoteToolEvents.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/StrokePainting.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/desktop/Images.h"

#include <QEnterEvent>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace notetool {
namespace {

constexpr int kRetinaScale = 2;
constexpr const char* kPenCursor = "cursor_draw_pen";
constexpr const char* kEraserCursor = "cursor_draw_eraser";
constexpr int kPenCursorSide = 19;
constexpr int kPenHotX = 0;
constexpr int kPenHotY = 18; // 18.9 points down: the pen's tip at the picture's lower-left corner
constexpr int kEraserCursorSide = 30;
constexpr int kEraserHot = 15;
} // namespace

CanvasWindow::CanvasWindow() : desktop::Window(Style::Borderless) {
    setSeeThrough(true, Qt::transparent);
}

ImagePane::ImagePane(Fit fit, QWidget* parent) : QWidget(parent), m_fit(fit) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ImagePane::setImage(QImage image) {
    m_image = std::move(image);
    update();
}

void ImagePane::edit(const std::function<void(QImage&)>& change, const QRect& area) {
    change(m_image);
    update(area);
}

QRectF ImagePane::sourceRect(const QImage& picture, QSizeF viewSize) {
    if (picture.isNull() || viewSize.width() <= 0)
        return {};
    const double scale = picture.width() / viewSize.width();
    const double height = std::min<double>(picture.height(), viewSize.height() * scale);
    return {0.0, picture.height() - height, static_cast<double>(picture.width()), height};
}

void ImagePane::paintEvent(QPaintEvent*) {
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_fit == Fit::BottomCrop)
        painter.drawImage(QRectF(rect()), m_image, sourceRect(m_image, size()));
    else
        painter.drawImage(QRectF(rect()), m_image, QRectF(m_image.rect()));
}

CanvasView::CanvasView(CanvasViewController& controller, QWidget* parent,
                       platform::NotificationCenter& center)
    : QWidget(parent), m_controller(controller), m_observers(center) {
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(false);
    m_observers.add(events::kRefreshCanvasView, nullptr, [this](const platform::Notification&) { update(); });
}

std::shared_ptr<panel::NoteToolSettings> CanvasView::pen() const {
    auto hub = panel::AppDelegate::shared().getMainViewController();
    return hub ? hub->getNoteToolView() : nullptr;
}

streaming::MyPoint CanvasView::toPoint(QPointF at) const {
    return panel::strokes::toPoint(at, height());
}

QPointF CanvasView::toView(const streaming::MyPoint& p) const {
    return panel::strokes::toView(p, height());
}

QRect CanvasView::segmentArea(QPointF from, QPointF to) const {
    auto settings = pen();
    return panel::strokes::segmentArea(from, to, settings ? settings->getThickness() : 0.0f);
}

void CanvasView::mouseDown(QPointF at) {
    auto settings = pen();
    const int tool = settings ? settings->getToolMode() : streaming::kToolPen;
    if (tool == streaming::kToolPen) {
        m_brushStrokeList.push_back({toPoint(at)});
        m_bStrokeOpen = true;
    } else if (tool == streaming::kToolEraser) {
        m_controller.setImageClearFromRect(at.x(), at.y(), kEraserSide, kEraserSide);
        return;
    }
    update(segmentArea(at, at));
    if (settings)
        settings->setWrite(true);
}

void CanvasView::mouseDragged(QPointF at) {
    auto settings = pen();
    const int tool = settings ? settings->getToolMode() : streaming::kToolPen;
    if (tool == streaming::kToolPen && m_bStrokeOpen && !m_brushStrokeList.empty()) {
        streaming::Stroke& current = m_brushStrokeList.back();
        const QPointF last = toView(current.back());
        current.push_back(toPoint(at));
        update(segmentArea(last, at));
    } else if (tool == streaming::kToolEraser) {
        m_controller.setImageClearFromRect(at.x(), at.y(), kEraserSide, kEraserSide);
    }
}

void CanvasView::mouseUp(QPointF at) {
    if (!m_bStrokeOpen || m_brushStrokeList.empty())
        return;
    m_brushStrokeList.back().push_back(toPoint(at));
    m_bStrokeOpen = false;
    // The finished stroke becomes part of the ink; the view is empty again.
    m_controller.addInk([this](QPainter& painter) { drawStrokes(painter); }, strokesArea());
    m_brushStrokeList.clear();
    update();
}

QRect CanvasView::strokesArea() const {
    QRect area;
    for (const streaming::Stroke& stroke : m_brushStrokeList)
        for (const streaming::MyPoint& p : stroke)
            area |= segmentArea(toView(p), toView(p));
    return area;
}

void CanvasView::drawStrokes(QPainter& painter) const {
    auto settings = pen();
    if (!settings || settings->getToolMode() != streaming::kToolPen)
        return;
    panel::strokes::drawStrokes(painter, m_brushStrokeList,
                                panel::strokes::penColour(settings->getColorMode(), settings->getIsBlend()),
                                settings->getThickness(), height(), panel::strokes::SinglePoint::Dot);
}

QImage CanvasView::getCurrentViewImage() const {
    QImage picture(size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    drawStrokes(painter);
    return picture;
}

void CanvasView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawStrokes(painter);
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        mouseDown(event->position());
    event->accept();
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(event->position());
    event->accept();
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        mouseUp(event->position());
    event->accept();
}

void CanvasView::enterEvent(QEnterEvent*) {
    auto settings = pen();
    const int tool = settings ? settings->getToolMode() : -1;
    if (tool == streaming::kToolEraser)
        setCursor(QCursor(desktop::images::named(kEraserCursor, QSize(kEraserCursorSide, kEraserCursorSide)),
                          kEraserHot, kEraserHot));
    else if (tool == streaming::kToolPen)
        setCursor(QCursor(desktop::images::named(kPenCursor, QSize(kPenCursorSide, kPenCursorSide)), kPenHotX,
                          kPenHotY));
}

void CanvasView::leaveEvent(QEvent*) {
    unsetCursor();
}

CanvasViewController::CanvasViewController(platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_observers(center) {}

CanvasViewController::~CanvasViewController() {
    m_observers.removeAll();
}

std::unique_ptr<QWidget> CanvasViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QGridLayout(view.get()); // Qt children: owned by the view
    layout->setContentsMargins(0, 0, 0, 0);
    // One cell, stacked bottom to top: background, ink, strokes in progress.
    m_imageViewCanvas = new ImagePane(ImagePane::Fit::BottomCrop, view.get());
    m_imageViewBoard = new ImagePane(ImagePane::Fit::Stretch, view.get());
    m_canvasView = new CanvasView(*this, view.get(), m_pNotificationCenter);
    layout->addWidget(m_imageViewCanvas, 0, 0);
    layout->addWidget(m_imageViewBoard, 0, 0);
    layout->addWidget(m_canvasView, 0, 0);
    return view;
}

void CanvasViewController::viewDidLoad() {
    desktop::WindowController* owner = windowController();
    if (owner)
        panel::AppDelegate::shared().setCanvasViewController(
            std::shared_ptr<desktop::ViewController>(owner->shared_from_this(), this));
    auto hub = panel::AppDelegate::shared().getMainViewController();
    if (hub) {
        hub->showMainView();
        // The background is taken once.
        m_imageViewCanvas->setImage(hub->getCaptureBoardImageData());
        hub->setCaptureBoardImageDataNil();
    }
    m_observers.add(events::kCaptureBoardRemoveAll, nullptr,
                    [this](const platform::Notification&) { callbackCaptureBoardRemoveAll(); });
}

void CanvasViewController::callbackCaptureBoardRemoveAll() {
    setImageClear();
    m_pNotificationCenter.post(events::kRefreshCanvasView);
}

void CanvasViewController::setImageViewBoard(const QImage& ink) {
    if (!m_imageViewBoard || ink.isNull())
        return;
    QImage board = m_imageViewBoard->image();
    if (board.isNull()) {
        board = QImage(ink.size(), QImage::Format_ARGB32_Premultiplied);
        board.fill(Qt::transparent);
    }
    {
        QPainter painter(&board);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(QRectF(board.rect()), ink, QRectF(ink.rect()));
    }
    m_imageViewBoard->setImage(std::move(board));
}

void CanvasViewController::addInk(const std::function<void(QPainter&)>& draw, const QRect& area) {
    if (!m_imageViewBoard)
        return;
    if (m_imageViewBoard->image().isNull()) {
        QImage board(m_imageViewBoard->size(), QImage::Format_ARGB32_Premultiplied);
        board.fill(Qt::transparent);
        m_imageViewBoard->setImage(std::move(board));
    }
    m_imageViewBoard->edit(
        [&draw](QImage& board) {
            QPainter painter(&board);
            draw(painter);
        },
        area);
}

void CanvasViewController::setImageClearFromRect(double x, double y, double w, double h) {
    if (!m_imageViewBoard || m_imageViewBoard->image().isNull())
        return;
    const QRectF square(x - w / 2, y - h / 2, w, h);
    m_imageViewBoard->edit(
        [&square](QImage& board) {
            QPainter painter(&board);
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
            painter.fillRect(square, Qt::transparent);
        },
        square.toAlignedRect());
}

void CanvasViewController::setImageClear() {
    if (!m_imageViewBoard)
        return;
    QImage board(m_imageViewBoard->size(), QImage::Format_ARGB32_Premultiplied);
    board.fill(Qt::transparent);
    m_imageViewBoard->setImage(std::move(board));
}

QImage CanvasViewController::getImageFromCanvas() const {
    if (!m_imageViewBoard)
        return {};
    auto hub = panel::AppDelegate::shared().getMainViewController();
    if (hub)
        hub->showMainView();
    QSize size = m_imageViewBoard->size();
    if (hub && hub->getIsRetinaDisplay())
        size *= kRetinaScale;
    if (size.isEmpty())
        return {};
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage& background = m_imageViewCanvas ? m_imageViewCanvas->image() : QImage();
    // The part of the background the canvas shows, and the ink over it at the same place.
    if (!background.isNull())
        painter.drawImage(QRectF(picture.rect()), background,
                          ImagePane::sourceRect(background, m_imageViewBoard->size()));
    const QImage& ink = m_imageViewBoard->image();
    if (!ink.isNull())
        painter.drawImage(QRectF(picture.rect()), ink, QRectF(ink.rect()));
    return picture;
}

void CanvasViewController::memoryClear() {
    platform::logf("[ZQ]memorcy clear");
    if (m_imageViewCanvas)
        m_imageViewCanvas->setImage({});
    if (m_imageViewBoard)
        m_imageViewBoard->setImage({});
    m_observers.removeAll();
    panel::AppDelegate& app = panel::AppDelegate::shared();
    if (app.getCanvasViewController().get() == this)
        app.setCanvasViewController(nullptr);
}

CanvasWindowController::CanvasWindowController()
    : desktop::WindowController(std::make_unique<CanvasWindow>(), std::make_unique<CanvasViewController>()) {}

void CanvasWindowController::windowDidLoad() {
    const int width = platform::screens::clientWidth();
    const int height = platform::screens::clientHeight();
    const double menuBar = platform::screens::menuBarHeight();
    window()->setFrame(desktop::Frame{0, 0, static_cast<double>(width), height - menuBar});
    window()->setLevel(desktop::level::kDrawingCanvas);
}

void CanvasWindowController::windowDidClose() {
    platform::logf("[ZQ]Close Windows");
    if (auto* content = dynamic_cast<CanvasViewController*>(contentViewController()))
        content->memoryClear();
    panel::AppDelegate& app = panel::AppDelegate::shared();
    if (app.getCanvasWindowController().get() == this)
        app.setCanvasController(nullptr);
}

void registerCanvasWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kCanvasWindow,
                                             [] { return std::make_shared<CanvasWindowController>(); });
}

} // namespace notetool
