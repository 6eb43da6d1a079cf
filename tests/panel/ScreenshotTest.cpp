// Draws the panel, a message box and the lock screen on a real X server (Xvfb, started here) and
// writes what the screen shows as PNG files under the build folder, for a person to look at.
// Skips when Xvfb is not installed.
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "panel/PanelWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/WindowController.h"

#include <QScreen>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// The xcb platform plugin reaches the session bus through libdbus, which keeps one buffer for the
// life of the process; the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kScreenGeometry = "1280x800x24";
constexpr int kDisplayNumberDigits = 16;

// An Xvfb of our own; -displayfd makes it write its display number once it accepts clients, so
// no waiting on the clock is needed.
class Xvfb {
public:
    bool start() {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {kXvfb,           "-displayfd", fd.c_str(), "-screen", "0",
                              kScreenGeometry, "-nolisten",  "tcp",      nullptr};
        const int spawned =
            posix_spawn(&m_pid, kXvfb, nullptr, nullptr, const_cast<char* const*>(argv), environ);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            m_pid = -1;
            return false;
        }
        char number[kDisplayNumberDigits] = {};
        const ssize_t n = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        if (n <= 0)
            return false;
        m_display = ":" + std::to_string(std::atoi(number));
        return true;
    }
    ~Xvfb() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

void saveScreen(const std::string& name) {
    const std::filesystem::path dir = OLVEX_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_FALSE(shot.isNull());
    const std::string path = (dir / name).string();
    ASSERT_TRUE(shot.save(QString::fromStdString(path), "PNG")) << path;
}

TEST(Screenshot, PanelMessageboxAndLockOnX11) {
    if (access(kXvfb, X_OK) != 0)
        GTEST_SKIP() << "Xvfb is not installed";
    Xvfb server;
    if (!server.start())
        GTEST_SKIP() << "Xvfb did not start";
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("XDG_CONFIG_HOME", OLVEX_TEST_CONFIG_HOME, 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // On this stack, so it closes its display connection before the server goes away.
    static int argc = 1;
    static char name[] = "olvex-screenshot";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    desktop::QtRunLoop mainQueue; // the main queue on Qt's event loop, as in the program
    mainQueue.install();
    desktop::Application::refreshScreens();
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
