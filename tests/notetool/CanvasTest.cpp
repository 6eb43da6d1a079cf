// The drawing canvas: pen strokes flattened into the ink, the eraser's square, erase-all, and the
// picture a saved board holds.
#include "NoteToolTestSupport.h"
#include "notetool/NoteToolEvents.h"

#include <QMouseEvent>

namespace {

using notetooltest::NoteToolTest;

class Canvas : public NoteToolTest {
protected:
    notetool::CanvasView* view() { return canvasContent() ? canvasContent()->canvasView() : nullptr; }
    void press(Qt::MouseButtons held, QEvent::Type type, QPointF at) {
        QMouseEvent event(type, at, view()->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(view(), &event);
    }
    void drag(QPointF from, QPointF to) {
        press(Qt::LeftButton, QEvent::MouseButtonPress, from);
        press(Qt::LeftButton, QEvent::MouseMove, (from + to) / 2);
        press(Qt::NoButton, QEvent::MouseButtonRelease, to);
    }
    QImage ink() { return canvasContent()->getImageViewBoard()->image(); }
    void reopenMainAtScale(double scale) {
        m_main->close();
        platform::screens::setInfo(
            {paneltest::kScreenWidth, paneltest::kScreenHeight, paneltest::kMenuBar, {scale}});
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        panel::AppDelegate::shared().setMainWindowController(m_main);
        m_main->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
        m_panel = notetool::NoteToolView::in(m_main->window());
    }
};

TEST_F(Canvas, CoversTheScreenBelowTheMenuBarAtItsLevel) {
    openWhiteBoard();
    const auto canvases = openWindows(desktop::level::kDrawingCanvas);
    ASSERT_EQ(canvases.size(), 1u);
    EXPECT_EQ(canvases[0]->frame(), (desktop::Frame{0, 0, 1440, 876}));
    EXPECT_EQ(view()->size(), QSize(1440, 876));
}

TEST_F(Canvas, APenStrokeBecomesInkAtRelease) {
    openWhiteBoard();
    EXPECT_TRUE(ink().isNull());
    EXPECT_FALSE(m_panel->model().hasUnsavedInk());
    m_panel->onClickThickness(3);
    drag({100, 200}, {300, 200});
    ASSERT_FALSE(ink().isNull());
    EXPECT_EQ(ink().pixelColor(200, 200), QColor(255, 0, 0));
    EXPECT_EQ(ink().pixelColor(200, 220).alpha(), 0);
    EXPECT_TRUE(view()->strokes().empty());
    EXPECT_TRUE(m_panel->model().hasUnsavedInk());
    // Highlighter strokes go over the ink at 0.4.
    m_panel->onClickBlendMode();
    m_panel->onClickColor(2);
    drag({200, 100}, {200, 400});
    EXPECT_EQ(ink().pixelColor(200, 300).alpha(), 102);
    EXPECT_EQ(ink().pixelColor(200, 200).alpha(), 255); // the red stays under the blue
}

TEST_F(Canvas, TheEraserClearsASquareCentredOnThePointerAndMarksNothing) {
    openWhiteBoard();
    QImage red(view()->size(), QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    canvasContent()->setImageViewBoard(red);
    m_panel->onClickEraseMode();
    press(Qt::LeftButton, QEvent::MouseButtonPress, {100, 100});
    press(Qt::NoButton, QEvent::MouseButtonRelease, {100, 100});
    EXPECT_FALSE(m_panel->model().hasUnsavedInk());
    const std::pair<QPoint, int> cases[] = {{{85, 85}, 0},    {{114, 114}, 0},   {{100, 100}, 0},
                                            {{84, 100}, 255}, {{115, 100}, 255}, {{100, 84}, 255},
                                            {{100, 115}, 255}};
    for (auto [at, alpha] : cases)
        EXPECT_EQ(ink().pixelColor(at).alpha(), alpha) << at.x() << "," << at.y();
    EXPECT_EQ(canvasContent()->getImageView()->image().pixelColor(100, 100), QColor(Qt::white));
    // Erase-all leaves a clear ink picture of the view's size.
    m_panel->onClickEraseAllMode();
    EXPECT_EQ(ink().size(), view()->size());
    EXPECT_EQ(ink().pixelColor(300, 300).alpha(), 0);
}

TEST_F(Canvas, TheSavedPictureIsTheBackgroundUnderTheInkAtTheBoardsSize) {
    struct Case {
        double scale;
        QSize size;
    };
    for (const Case& c : {Case{1.0, {1440, 876}}, Case{2.0, {2880, 1752}}}) {
        reopenMainAtScale(c.scale);
        openCaptureBoard();
        ASSERT_NE(view(), nullptr);
        m_panel->onClickThickness(3);
        drag({100, 200}, {300, 200});
        const QImage saved = canvasContent()->getImageFromCanvas();
        SCOPED_TRACE(c.scale);
        EXPECT_EQ(saved.size(), c.size);
        EXPECT_EQ(saved.pixelColor(QPoint(200, 200) * c.scale), QColor(255, 0, 0));
        EXPECT_EQ(saved.pixelColor(QPoint(600, 600) * c.scale), QColor(0, 0, 255));
        m_panel->onClickMacMode();
        ASSERT_TRUE(answer(0));
    }
}

} // namespace
