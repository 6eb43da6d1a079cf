#include "panel/PermissionWindow.h"
#include "panel/SmallWindows.h"
#include "support/PanelTestSupport.h"

#include <QTest>
#include <filesystem>
#include <unistd.h>

namespace {

using desktop::Frame;

class FakePermission : public startup::ScreenCapturePermission {
public:
    bool allowed = false;
    int requests = 0;
    int settingsOpened = 0;
    bool preflight() override { return allowed; }
    bool requestAccess() override {
        ++requests;
        return allowed;
    }
    void openPrivacySettings() override { ++settingsOpened; }
};

class StartUpWindows : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        m_statusPath =
            std::filesystem::temp_directory_path() / ("olvex-panel-launch-" + std::to_string(getpid()));
        std::filesystem::remove_all(m_statusPath);
        panel::PermissionViewController::setLaunchStatusPathForTesting(m_statusPath.string());
        panel::AppDelegate::shared().setScreenCapturePermission(&m_permission);
        desktop::WindowRegistry::registerFactory(desktop::storyboard::kLoginWindow, [this] {
            ++m_loginsMade;
            return std::make_shared<desktop::WindowController>(std::make_unique<desktop::Window>(), nullptr);
        });
    }
    void TearDown() override {
        desktop::WindowRegistry::unregisterFactory(desktop::storyboard::kLoginWindow);
        panel::PermissionViewController::setLaunchStatusPathForTesting("");
        std::filesystem::remove_all(m_statusPath);
        WindowsTest::TearDown();
    }
    std::shared_ptr<desktop::WindowController> showPermissionWindow() {
        auto window = desktop::WindowRegistry::instantiate(desktop::storyboard::kPermissionWindow);
        window->showWindow();
        return window;
    }
    static panel::PermissionViewController* content(const std::shared_ptr<desktop::WindowController>& w) {
        return static_cast<panel::PermissionViewController*>(w->contentViewController());
    }

    FakePermission m_permission;
    std::filesystem::path m_statusPath;
    int m_loginsMade = 0;
};

TEST_F(StartUpWindows, AllowedCaptureOpensTheLoginAndClosesThePermissionWindow) {
    m_permission.allowed = true;
    auto window = showPermissionWindow();
    EXPECT_EQ(m_loginsMade, 1);
    EXPECT_FALSE(window->isOpen());
}

TEST_F(StartUpWindows, WithoutCaptureTheButtonAsksOnFirstLaunchAndLeadsToSettingsLater) {
    auto first = showPermissionWindow();
    EXPECT_EQ(first->window()->frame(), (Frame{420, 438, 500, 270}));
    EXPECT_TRUE(first->isOpen());
    EXPECT_EQ(m_loginsMade, 0);
    EXPECT_TRUE(content(first)->isFirstAppExecution());
    QTest::mouseClick(content(first)->permissionButton(), Qt::LeftButton);
    EXPECT_EQ(m_permission.requests, 1);
    EXPECT_EQ(m_permission.settingsOpened, 0);

    auto later = showPermissionWindow(); // the launch-status file exists now
    EXPECT_FALSE(content(later)->isFirstAppExecution());
    QTest::mouseClick(content(later)->permissionButton(), Qt::LeftButton);
    EXPECT_EQ(m_permission.requests, 1);
    m_loop.advance(0.9);
    EXPECT_EQ(m_permission.settingsOpened, 0);
    m_loop.advance(0.2);
    EXPECT_EQ(m_permission.settingsOpened, 1);
}

TEST_F(StartUpWindows, LaunchMakesTheBlinkingOverlayAndTheHiddenCentreWindow) {
    panel::BlinkOverlayWindow::resetBlinkPhaseForTesting();
    panel::AppDelegate::shared().applicationDidFinishLaunching();
    auto* overlay = panel::AppDelegate::shared().getOverlayWindow();
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->level(), desktop::level::kBlinkOverlay);
    EXPECT_EQ(overlay->frame(), (Frame{100, 100, 10, 10}));
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    // The dot at the origin of the window's bottom-left coordinates: its lower-left corner.
    EXPECT_EQ(overlay->blinkView()->geometry(), QRect(0, 9, 1, 1));
    m_loop.advance(0.5);
    EXPECT_EQ(overlay->blinkColour(), QColor(Qt::red));
    m_loop.advance(0.5);
    EXPECT_EQ(overlay->blinkColour(), QColor(Qt::blue));
    m_loop.advance(0.5);
    EXPECT_EQ(overlay->blinkColour(), QColor(Qt::red));

    auto* centre = panel::AppDelegate::shared().getCenterHidedWindow();
    ASSERT_TRUE(centre);
    EXPECT_FALSE(centre->isVisible());
    EXPECT_EQ(centre->level(), desktop::level::kMessageBox);
    const Frame intended = panel::CenterHidedWindow::intendedFrame();
    EXPECT_DOUBLE_EQ(intended.x, 719.95);
    EXPECT_DOUBLE_EQ(intended.y, 849.95);
}

} // namespace
