#include "viewer/ScreenShareView.h"

#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/ScreenShareViewing.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/Images.h"
#include "viewer/ParallelWork.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <libyuv.h>

namespace viewer {

namespace {
int clampedSetting(const platform::UserDefaults& settings, const char* key) {
    const std::int64_t value = settings.integerValue(key);
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

int pressMessage(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return mousemsg::kLeftDown;
    case Qt::RightButton:
        return mousemsg::kRightDown;
    default:
        return mousemsg::kOtherDown;
    }
}

int releaseMessage(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return mousemsg::kLeftUp;
    case Qt::RightButton:
        return mousemsg::kRightUp;
    default:
        return mousemsg::kOtherUp;
    }
}
} // namespace

ScreenShareView::ScreenShareView(platform::NotificationCenter& center) : m_center(center) {
    setMouseTracking(true); // moves without a button go to the teacher too
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ScreenShareView::present(const streaming::PlainImage& canvas, const CanvasRect& dirty) {
    if (canvas.isEmpty() || width() < 1 || height() < 1) {
        m_canvas = canvas.isEmpty() ? nullptr : &canvas;
        m_image = QImage();
        update();
        return;
    }
    const bool sameCanvas = m_canvas == &canvas && !m_image.isNull();
    m_canvas = &canvas;
    // Alpha is 0 (a tile never received) or 255, so the pixels are premultiplied as they stand.
    constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;
    if (canvas.width() == width() && canvas.height() == height()) {
        m_image = QImage(canvas.data(), canvas.width(), canvas.height(),
                         static_cast<qsizetype>(canvas.stride()), kFormat);
        update(sameCanvas && !dirty.empty() ? viewRectOf(dirty) : rect());
        return;
    }
    // Scaled when painted, with the SIMD scaler, straight into the window's picture where the
    // platform lets it (no picture of the view's size written and then copied); the view's own
    // picture catches up only when something reads it.
    if (m_scaled.width() != width() || m_scaled.height() != height())
        m_scaled = streaming::PlainImage(width(), height());
    const bool rewrapped =
        m_image.isNull() || m_image.constBits() != m_scaled.data() || m_image.size() != size();
    if (rewrapped)
        m_image = QImage(m_scaled.data(), m_scaled.width(), m_scaled.height(),
                         static_cast<qsizetype>(m_scaled.stride()), kFormat);
    const QRect area = sameCanvas && !rewrapped && !dirty.empty() ? viewRectOf(dirty) : rect();
    m_stale = m_stale.united(area);
    update(area);
}

void ScreenShareView::scaleInto(std::uint8_t* origin, qsizetype stride, const QRect& area) const {
    const streaming::PlainImage& canvas = *m_canvas;
    // Bands of the area on several threads: each output pixel depends on the source only.
    runInParallel(kParallelPieces, [&](std::size_t piece) {
        const RowBand band = rowBand(area.height(), kParallelPieces, piece);
        if (band.end <= band.first)
            return;
        libyuv::ARGBScaleClip(canvas.data(), static_cast<int>(canvas.stride()), canvas.width(),
                              canvas.height(), origin, static_cast<int>(stride), width(), height(), area.x(),
                              area.y() + band.first, area.width(), band.end - band.first,
                              libyuv::kFilterBilinear);
    });
}

bool ScreenShareView::scaled() const {
    return m_canvas != nullptr && !m_image.isNull() && m_image.constBits() == m_scaled.data();
}

const QImage& ScreenShareView::image() const {
    if (scaled() && !m_stale.isEmpty()) {
        scaleInto(m_scaled.data(), static_cast<qsizetype>(m_scaled.stride()), m_stale.intersected(rect()));
        m_stale = {};
    }
    return m_image;
}

bool ScreenShareView::paintScaled(QPainter& painter, const QRegion& region) {
    // Only the raster picture of this window itself, one to one: anything else (another device,
    // a scale or a rotation) takes the copy from the view's own picture.
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image)
        return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format format = target->format();
    if ((format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32) ||
        target->devicePixelRatio() != 1.0)
        return false;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate)
        return false;
    const QPoint offset(qRound(transform.dx()), qRound(transform.dy()));
    if (offset != mapTo(window(), QPoint(0, 0)) || !target->rect().contains(rect().translated(offset)))
        return false;
    // constBits: the window's picture is written in place, never detached into a copy.
    auto* origin = const_cast<std::uint8_t*>(target->constBits()) +
                   static_cast<qsizetype>(offset.y()) * target->bytesPerLine() +
                   static_cast<qsizetype>(offset.x()) * streaming::kBytesPerPixel;
    for (const QRect& r : region) {
        const QRect area = r.intersected(rect());
        if (!area.isEmpty())
            scaleInto(origin, target->bytesPerLine(), area);
    }
    return true;
}

void ScreenShareView::clearImage() {
    m_canvas = nullptr;
    m_image = QImage();
    m_stale = {};
    update();
}

void ScreenShareView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_canvas != nullptr) {
        const streaming::PlainImage* canvas = m_canvas;
        m_image = QImage();
        present(*canvas, {});
    }
}

QRect ScreenShareView::viewRectOf(const CanvasRect& r) const {
    if (m_canvas == nullptr || m_canvas->isEmpty())
        return rect();
    const double sx = static_cast<double>(width()) / m_canvas->width();
    const double sy = static_cast<double>(height()) / m_canvas->height();
    // Bilinear scaling blends each view pixel from the two nearest canvas pixels a side, so a
    // changed canvas pixel reaches as far as one canvas pixel's width in the view beyond the
    // changed rectangle (three view pixels at 3x), and one more for the rounding.
    const int marginX = static_cast<int>(std::ceil(std::max(sx, 1.0))) + 1;
    const int marginY = static_cast<int>(std::ceil(std::max(sy, 1.0))) + 1;
    const int left = static_cast<int>(std::floor(r.x * sx)) - marginX;
    const int top = static_cast<int>(std::floor(r.y * sy)) - marginY;
    const int right = static_cast<int>(std::ceil((r.x + r.width) * sx)) + marginX;
    const int bottom = static_cast<int>(std::ceil((r.y + r.height) * sy)) + marginY;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(rect());
}

void ScreenShareView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!m_image.isNull() && !(scaled() && paintScaled(painter, event->region()))) {
        // One to one: the picture already has the view's size.
        const QImage& picture = image();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : event->region())
            painter.drawImage(r.topLeft(), picture, r);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    drawStrokes(painter);
}

MouseGeometry ScreenShareView::currentGeometry() {
    auto settings = platform::UserDefaults::suite();
    MouseGeometry g;
    g.clientWidth = platform::screens::clientWidth();
    g.clientHeight = static_cast<int>(platform::screens::clientHeight() - platform::screens::menuBarHeight());
    g.serverWidth = clampedSetting(*settings, client::settings::kServerWidth);
    g.serverHeight = clampedSetting(*settings, client::settings::kServerHeight);
    return g;
}

void ScreenShareView::sendMouseData(const QPointF& point, int message) {
    if (!answersEnabled || !answersEnabled())
        return;
    const MouseGeometry g = currentGeometry();
    // The console's mapping counts y up from the bottom of the view.
    post(mouseText(point.x(), g.clientHeight - point.y(), message, g));
}

void ScreenShareView::post(const std::string& text) {
    m_center.post(client::events::kMouseData, nullptr,
                  platform::Dictionary{{client::events::kKeyMouseData, text}});
}

void ScreenShareView::mousePressEvent(QMouseEvent* event) {
    sendMouseData(event->position(), pressMessage(event->button()));
    if (event->button() == Qt::LeftButton)
        strokeDown(event->position());
}

void ScreenShareView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press like any other.
    mousePressEvent(event);
}

void ScreenShareView::mouseReleaseEvent(QMouseEvent* event) {
    sendMouseData(event->position(), releaseMessage(event->button()));
    if (event->button() == Qt::LeftButton)
        strokeUp(event->position());
}

void ScreenShareView::mouseMoveEvent(QMouseEvent* event) {
    sendMouseData(event->position(), mousemsg::kMove);
    if ((event->buttons() & Qt::LeftButton) != 0)
        strokeDragged(event->position());
}

void ScreenShareView::wheelEvent(QWheelEvent* event) {
    if (!answersEnabled || !answersEnabled())
        return;
    post(wheelText(event->angleDelta().y() / kWheelNotch));
}

void ScreenShareView::enterEvent(QEnterEvent*) {
    setDrawingCursor();
}

void ScreenShareView::leaveEvent(QEvent*) {
    setCursor(Qt::ArrowCursor);
}

ShareBoardLayer::Context ScreenShareView::shareBoardContext() const {
    auto hub = panel::AppDelegate::shared().getMainViewController();
    return {hub ? hub->getNoteToolView() : nullptr, currentGeometry().clientHeight};
}

void ScreenShareView::strokeDown(const QPointF& at) {
    const QRect area = m_shareBoard.down(at, shareBoardContext());
    if (!area.isEmpty())
        update(area);
}

void ScreenShareView::strokeDragged(const QPointF& at) {
    const QRect area = m_shareBoard.dragged(at, shareBoardContext());
    if (!area.isEmpty())
        update(area);
}

void ScreenShareView::strokeUp(const QPointF& at) {
    const ShareBoardLayer::Context context = shareBoardContext();
    const streaming::Stroke stroke = m_shareBoard.up(at, context);
    if (stroke.empty() || !context.pen)
        return;
    update();
    const MouseGeometry g = currentGeometry();
    auto controller = panel::AppDelegate::shared().getScreenShareViewController();
    auto* viewer = dynamic_cast<panel::ScreenShareViewing*>(controller.get());
    const streaming::CanvasSizes sizes{g.clientWidth, g.clientHeight,
                                       viewer ? viewer->getScreenCanvasWidth() : 0,
                                       viewer ? viewer->getScreenCanvasHeight() : 0};
    ShareBoardLayer::sendStokePacket(stroke, *context.pen, sizes, studentClient ? studentClient() : nullptr);
}

void ScreenShareView::drawStrokes(QPainter& painter) {
    m_shareBoard.draw(painter, shareBoardContext());
}

void ScreenShareView::setDrawingCursor() {
    constexpr int kShareBoardMode = 3;
    constexpr int kPenCursorSide = 19;
    constexpr int kPenHotY = 18; // 18.9 points down: the pen's tip at the picture's lower-left corner
    constexpr int kEraserCursorSide = 30;
    constexpr int kEraserHot = 15;
    auto pen = shareBoardContext().pen;
    if (!pen || pen->getMode() != kShareBoardMode)
        return;
    if (pen->getToolMode() == streaming::kToolPen)
        setCursor(QCursor(desktop::images::named("cursor_draw_pen", QSize(kPenCursorSide, kPenCursorSide)), 0,
                          kPenHotY));
    else if (pen->getToolMode() == streaming::kToolEraser)
        setCursor(
            QCursor(desktop::images::named("cursor_draw_eraser", QSize(kEraserCursorSide, kEraserCursorSide)),
                    kEraserHot, kEraserHot));
}

} // namespace viewer
