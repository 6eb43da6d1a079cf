// Windows that the program places stay wholly on the visible screen, however small or low it is:
// the placements of the permission, login, panel, message-box and lock windows on screens from the
// usual 1440 x 900 down to 800 pixels high, under the offscreen platform.
#include "support/PanelTestSupport.h"

#include <QApplication>

namespace {

struct ScreenCase {
    const char* name;
    platform::ScreenInfo screen;
};

class Placement : public paneltest::WindowsTest {};

TEST_F(Placement, PlacedWindowsLieWhollyOnTheVisibleScreen) {
    const std::vector<ScreenCase> screens{
        {"1440 x 900 with a top panel", {1440, 900, 24, {1.0}}},
        {"1440 x 800 with a top panel", {1440, 800, 24, {1.0}}},
        {"1280 x 800 without a panel", {1280, 800, 0, {1.0}}},
        {"1024 x 600", {1024, 600, 0, {1.0}}},
    };
    const std::vector<const char*> windows{
        desktop::storyboard::kPermissionWindow, desktop::storyboard::kLoginWindow,
        desktop::storyboard::kMainWindow, desktop::storyboard::kMessageboxWindow,
        desktop::storyboard::kLockViewWindow};
    for (const ScreenCase& s : screens) {
        platform::screens::setInfo(s.screen);
        const double top = s.screen.height - s.screen.menuBarHeight;
        for (const char* identifier : windows) {
            auto controller = desktop::WindowRegistry::instantiate(identifier);
            ASSERT_NE(controller, nullptr) << identifier;
            const desktop::Frame f = controller->window()->frame();
            EXPECT_GE(f.x, 0.0) << s.name << ": " << identifier;
            EXPECT_GE(f.y, 0.0) << s.name << ": " << identifier;
            EXPECT_LE(f.x + f.width, s.screen.width) << s.name << ": " << identifier;
            EXPECT_LE(f.y + f.height, top) << s.name << ": " << identifier;
            controller->close();
        }
    }
}

TEST_F(Placement, AWindowThatFitsKeepsItsPlacement) {
    // The usual screen: every window where its placement puts it.
    auto login = desktop::WindowRegistry::instantiate(desktop::storyboard::kLoginWindow);
    EXPECT_EQ(login->window()->frame(), (desktop::Frame{720, 438, 480, 414}));
    auto panel = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    EXPECT_EQ(panel->window()->frame(), (desktop::Frame{1255, 615, 185, 177}));
}

} // namespace
