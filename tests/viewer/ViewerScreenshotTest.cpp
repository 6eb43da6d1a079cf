// Draws the viewer with a composed test pattern on a real X server (Xvfb, started here) and writes
// what the screen shows as a PNG under the build folder, for a person to look at. Skips when Xvfb is
// not installed.
#include "ViewerTestSupport.h"
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "panel/AppDelegate.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "support/XvfbQtSession.h"
#include "viewer/ScreenShareViewController.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace viewer {
namespace {

using namespace viewertest;
namespace keys = client::settings;

TEST(ViewerScreenshot, ComposedPatternOnX11) {
    testsupport::XvfbQtSession session(OLVEX_TEST_CONFIG_HOME);
    if (!session.skipReason().empty())
        GTEST_SKIP() << session.skipReason();
    const int width = platform::screens::clientWidth();
    const int height = platform::screens::clientHeight();
    ASSERT_EQ(width, 1280);

    // Answer mode over the whole screen: 8 x 8 tiles of 160 x 100.
    auto settings = platform::UserDefaults::suite();
    settings->setString(keys::kCanvasWidth, std::to_string(width));
    settings->setString(keys::kCanvasHeight, std::to_string(height));
    settings->setString(keys::kScreenInit, "1");
    registerViewerWindows();
    auto controller = desktop::WindowRegistry::instantiate(desktop::storyboard::kScreenShareWindow);
    ASSERT_TRUE(controller);
    panel::AppDelegate::shared().setScreenShareWindowController(controller);
    controller->showWindow();
    auto* viewer = static_cast<ScreenShareWindowController*>(controller.get())->viewer();
    ASSERT_EQ(viewer->model().answerGrid().tileCount(), 64u);

    // Seven rows of coloured tiles, each row shifted by one colour; the last row is never sent.
    const std::vector<Rgb> palette = {kRed,         kGreen,         kBlue,         kYellow, {240, 240, 240},
                                      {20, 20, 20}, {200, 80, 200}, {40, 200, 200}};
    for (std::uint32_t row = 0; row < 7; ++row) {
        std::vector<Rgb> colours;
        std::vector<std::uint32_t> tiles;
        for (std::uint32_t c = 0; c < 8; ++c) {
            colours.push_back(palette[(c + row) % palette.size()]);
            tiles.push_back(row * 8 + c);
        }
        platform::NotificationCenter::defaultCenter().post(
            client::events::kScreenData, nullptr,
            platform::Dictionary{
                {client::events::kKeyCombinedDib,
                 client::archiveAsText(updateArchive(jpegStrip(colours, 160, 100), tiles))}});
    }
    viewer->screenRefresher();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    QTest::qWait(200);
    QApplication::processEvents();

    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const std::filesystem::path dir = OLVEX_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(shot.save(QString::fromStdString((dir / "viewer-test-pattern.png").string()), "PNG"));
    // What the screen shows is the pattern: tile (row 1, column 0) is green, (2, 1) yellow.
    const QColor green = shot.pixelColor(80, 150);
    const QColor yellow = shot.pixelColor(240, 250);
    EXPECT_NEAR(green.green(), kGreen.g, 12);
    EXPECT_NEAR(green.red(), kGreen.r, 12);
    EXPECT_NEAR(yellow.red(), kYellow.r, 12);
    EXPECT_NEAR(yellow.blue(), kYellow.b, 12);

    desktop::WindowRegistry::closeAll();
    panel::AppDelegate::shared().resetForTesting();
}

} // namespace
} // namespace viewer
