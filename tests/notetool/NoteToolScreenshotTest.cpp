// Draws the note-tool panel in each mode and the canvas with ink on a real X server (Xvfb, started
// here) and writes what the screen shows as PNG files under the build folder, for a person to look
// at. The capture board takes its still through the X11 capture path. Skips without Xvfb.
#include "chat/MessageWindow.h"
#include "client/SettingsKeys.h"
#include "notetool/CanvasWindow.h"
#include "notetool/NoteToolView.h"
#include "notetool/NoteToolWindows.h"
#include "panel/AppDelegate.h"
#include "panel/PanelWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/WindowController.h"
#include "support/XvfbQtSession.h"
#include "transfer/PanelTransfers.h"
#include "viewer/ScreenShareViewController.h"
#include "viewer/ScreenShareWindow.h"

#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr int kSettleMs = 800; // past the capture board's half-second delay

void saveScreen(const std::string& name) {
    ASSERT_TRUE(testsupport::XvfbQtSession::saveScreen(OLVEX_SCREENSHOT_DIR, name)) << name;
}

void drawInk(notetool::CanvasView* view, double phase) {
    auto send = [view](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, {150, 300}, Qt::LeftButton);
    for (int i = 1; i < 120; ++i)
        send(QEvent::MouseMove, {150.0 + i * 5, 300 + 80 * std::sin(i * 0.1 + phase)}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {750, 300}, Qt::NoButton);
}

notetool::CanvasView* canvasView() {
    auto canvas = panel::AppDelegate::shared().getCanvasWindowController();
    auto* content =
        canvas ? dynamic_cast<notetool::CanvasViewController*>(canvas->contentViewController()) : nullptr;
    return content ? content->canvasView() : nullptr;
}

TEST(NoteToolScreenshot, PanelInEachModeAndCanvasWithInk) {
    testsupport::XvfbQtSession session(OLVEX_TEST_CONFIG_HOME);
    if (!session.skipReason().empty())
        GTEST_SKIP() << session.skipReason();
    platform::setPreferredLanguagesForTesting({"en-US"});
    panel::registerPanelWindows();
    transfer::registerTransferWindows();
    chat::registerChatWindows();
    notetool::registerNoteToolWindows();
    panel::AppDelegate::shared().applicationDidFinishLaunching();

    auto main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    panel::AppDelegate::shared().setMainWindowController(main);
    main->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main->window()));
    auto* panelView = notetool::NoteToolView::in(main->window());
    ASSERT_NE(panelView, nullptr);
    saveScreen("notetool-pointer.png");

    panelView->onClickWhiteBoardMode();
    QTest::qWait(kSettleMs);
    ASSERT_NE(canvasView(), nullptr);
    drawInk(canvasView(), 0.0);
    panelView->onClickBlendMode();
    panelView->onClickColor(4);
    panelView->onClickThickness(3);
    drawInk(canvasView(), 1.5);
    QTest::qWait(100);
    saveScreen("notetool-whiteboard-ink.png");

    // Policy 1: leave the ink without a question.
    platform::NotificationCenter::defaultCenter().post("POST_MSG_RECEIVED_NOTE_SAVE_MODE", nullptr,
                                                       platform::Dictionary{{"noteSave", "1"}});
    // Something on the desktop for the still: a striped window below the canvas's level.
    desktop::Window desk(desktop::Window::Style::Borderless);
    desk.setFrame({0, 0, 640, 400});
    QPalette stripes;
    stripes.setBrush(QPalette::Window, QBrush(QColor(40, 140, 90), Qt::BDiagPattern));
    desk.setAutoFillBackground(true);
    desk.setPalette(stripes);
    desk.orderFront();
    panelView->onClickCaptureBoardMode();
    QTest::qWait(kSettleMs);
    ASSERT_NE(canvasView(), nullptr);
    desk.orderOut();
    // Moved after the still was taken: had the panel been in the still, its ghost would stay behind.
    main->window()->setFrameOrigin(main->window()->frame().x - 400, main->window()->frame().y);
    panelView->onClickColor(2);
    drawInk(canvasView(), 3.0);
    QTest::qWait(100);
    saveScreen("notetool-captureboard-ink.png");

    // The share board over the teacher's screen: the viewer in share mode, a stroke being drawn.
    auto settings = platform::UserDefaults::suite();
    settings->setString(client::settings::kCanvasWidth, "1920");
    settings->setString(client::settings::kCanvasHeight, "1080");
    settings->setString(client::settings::kScreenInit, client::settings::kScreenInitShare);
    viewer::registerViewerWindows();
    auto viewer = desktop::WindowRegistry::instantiate(desktop::storyboard::kScreenShareWindow);
    ASSERT_TRUE(viewer);
    panel::AppDelegate::shared().setScreenShareWindowController(viewer);
    viewer->showWindow();
    panelView->onClickScreenShareBoardMode();
    panelView->onClickColor(6);
    panelView->onClickBlendMode(); // off again
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer->window()));
    auto* shareView = static_cast<viewer::ScreenShareWindowController*>(viewer.get())->viewer()->canvasView();
    auto send = [shareView](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, shareView->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(shareView, &event);
    };
    send(QEvent::MouseButtonPress, {150, 500}, Qt::LeftButton);
    for (int i = 1; i < 120; ++i)
        send(QEvent::MouseMove, {150.0 + i * 5, 500 + 60 * std::cos(i * 0.1)}, Qt::LeftButton);
    QTest::qWait(100);
    saveScreen("notetool-shareboard.png");
    send(QEvent::MouseButtonRelease, {750, 500}, Qt::NoButton);

    desktop::WindowRegistry::closeAll();
    panel::AppDelegate::shared().resetForTesting();
    platform::setPreferredLanguagesForTesting({});
}

} // namespace
