// The desktop's own processes as the kill pass learns them from a real X server: the server that
// serves the display and the window manager running on it.
#include "forbidden/SessionProcesses.h"

#include "support/XvfbServer.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace forbidden {
namespace {

constexpr int kWindowManagerWaitTries = 200;
constexpr auto kWindowManagerWaitStep = std::chrono::milliseconds(25);

bool openboxInstalled() {
    return ::access("/usr/bin/openbox", X_OK) == 0;
}

// Runs openbox on the display until the test ends.
class WindowManager {
public:
    explicit WindowManager(const std::string& display) {
        m_pid = ::fork();
        if (m_pid == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~WindowManager() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

TEST(SessionProcessesX11, NamesTheServerAndTheRunningWindowManager) {
    if (!streaming::test::XvfbServer::installed() || !openboxInstalled())
        GTEST_SKIP() << "Xvfb or openbox is not installed";
    streaming::test::XvfbServer server;
    ASSERT_FALSE(server.display().empty());
    X11SessionProcesses session(server.display());

    SessionKeepers keepers;
    session.sessionKeepers(keepers);
    EXPECT_EQ(keepers.processIDs, std::vector<std::int32_t>{server.pid()}) << "no manager runs yet";
    for (const char* fixed : {"systemd", "dbus-daemon", "Xorg"})
        EXPECT_NE(std::find(keepers.names.begin(), keepers.names.end(), fixed), keepers.names.end()) << fixed;

    WindowManager manager(server.display());
    ASSERT_GT(manager.pid(), 0);
    bool named = false;
    for (int i = 0; i < kWindowManagerWaitTries && !named; ++i) {
        session.sessionKeepers(keepers);
        named = std::find(keepers.names.begin(), keepers.names.end(), "openbox") != keepers.names.end();
        if (!named)
            std::this_thread::sleep_for(kWindowManagerWaitStep);
    }
    EXPECT_TRUE(named) << "the running window manager is named by the server";
    EXPECT_NE(std::find(keepers.processIDs.begin(), keepers.processIDs.end(), server.pid()),
              keepers.processIDs.end());
}

} // namespace
} // namespace forbidden
