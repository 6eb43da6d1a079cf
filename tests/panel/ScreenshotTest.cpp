// Draws the panel, a message box and the lock screen on a real X server (Xvfb, started here) and
// writes what the screen shows as PNG files under the build folder, for a person to look at; and
// reads back what the blinking overlay leaves of the desktop beneath it. Skips when Xvfb is not
// installed.
#include "chat/MessageWindow.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "panel/PanelWindows.h"
#include "panel/SmallWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/desktop/WindowController.h"
#include "support/XvfbQtSession.h"
#include "transfer/PanelTransfers.h"

#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

namespace {

void saveScreen(const std::string& name) {
    ASSERT_TRUE(testsupport::XvfbQtSession::saveScreen(OLVEX_SCREENSHOT_DIR, name)) << name;
}

TEST(Screenshot, PanelMessageboxAndLockOnX11) {
    testsupport::XvfbQtSession session(OLVEX_TEST_CONFIG_HOME);
    if (!session.skipReason().empty())
        GTEST_SKIP() << session.skipReason();
    ASSERT_GT(platform::screens::clientWidth(), 0);
    platform::setPreferredLanguagesForTesting({"en-US"});
    panel::registerPanelWindows();
    transfer::registerTransferWindows();
    chat::registerChatWindows();

    auto main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    main->showWindow();
    auto box = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageboxWindow);
    box->showWindow();
    platform::NotificationCenter::defaultCenter().post(
        panel::events::kMessage, nullptr,
        platform::Dictionary{{"message", platform::localizedString("ZQ_ALERT_SERVER_DISCONNECTED")},
                             {"closeTime", "0.000000"},
                             {"msgLv", "1"},
                             {"hidden", "0"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main->window()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box->window()));
    QApplication::processEvents();
    saveScreen("panel-and-messagebox.png");

    auto lock = desktop::WindowRegistry::instantiate(desktop::storyboard::kLockViewWindow);
    lock->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(lock->window()));
    QApplication::processEvents();
    saveScreen("lock-with-messagebox.png");
    lock->window()->grab().save(QString(OLVEX_SCREENSHOT_DIR) + "/lock-window.png", "PNG");

    desktop::WindowRegistry::closeAll();
    platform::setPreferredLanguagesForTesting({});
}

// A bare Xvfb runs no compositor, and a clear window on it shows black: the overlay must leave the
// desktop beneath it seen everywhere but at its dot.
TEST(Screenshot, BlinkOverlayShowsTheDesktopBeneathExceptItsDot) {
    testsupport::XvfbQtSession session(OLVEX_TEST_CONFIG_HOME);
    if (!session.skipReason().empty())
        GTEST_SKIP() << session.skipReason();
    ASSERT_FALSE(desktop::compositorRunning());
    constexpr QRgb kDesktop = qRgb(0x20, 0xA0, 0x40);
    constexpr int kExposeWaitMs = 5000;
    desktop::Window desktop(desktop::Window::Style::Borderless);
    QPalette colour = desktop.palette();
    colour.setColor(QPalette::Window, QColor(kDesktop));
    desktop.setPalette(colour);
    desktop.setAutoFillBackground(true);
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop));

    panel::BlinkOverlayWindow::resetBlinkPhaseForTesting();
    panel::BlinkOverlayWindow overlay;
    overlay.toggleBlink();
    overlay.orderFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overlay));
    const QRect square = overlay.geometry();
    const QPoint dot = overlay.blinkView()->mapToGlobal(QPoint(0, 0));
    ASSERT_EQ(square.size(), QSize(10, 10));
    ASSERT_TRUE(square.contains(dot));

    // Every pixel of the square that is not what it should be, as "x,y=#rrggbb" (empty: none).
    const auto misdrawn = [&] {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        std::string wrong;
        for (int y = square.top(); y <= square.bottom(); ++y) {
            for (int x = square.left(); x <= square.right(); ++x) {
                const QRgb pixel = shot.pixel(x, y) | ~RGB_MASK; // the server keeps no alpha
                const bool right = QPoint(x, y) == dot
                                       ? pixel == qRgb(0xFF, 0, 0) || pixel == qRgb(0, 0, 0xFF)
                                       : pixel == kDesktop;
                if (!right)
                    wrong += std::to_string(x) + "," + std::to_string(y) + "=" +
                             QColor(pixel).name().toStdString() + " ";
            }
        }
        return wrong;
    };
    if (!QTest::qWaitFor([&] { return misdrawn().empty(); }, kExposeWaitMs))
        ADD_FAILURE() << "pixels of the overlay's square other than the desktop and the dot at " << dot.x()
                      << "," << dot.y() << ": " << misdrawn();
    saveScreen("blink-overlay.png");
}

} // namespace
