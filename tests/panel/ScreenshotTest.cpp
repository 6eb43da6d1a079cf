// Draws the panel, a message box and the lock screen on a real X server (Xvfb, started here) and
// writes what the screen shows as PNG files under the build folder, for a person to look at.
// Skips when Xvfb is not installed.
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "panel/PanelWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/desktop/WindowController.h"
#include "support/XvfbQtSession.h"

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

} // namespace
