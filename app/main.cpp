// olvex-student: keeps the computer awake, checks screen capture and makes the capture objects
// when it is allowed, then runs the application, whose first window is the permission window.
// Every end of the process goes through platform::terminate, so no static destructor runs under
// the receive and capture threads.
#include "client/ProcessStartUp.h"
#include "client/ScreenCapturePermission.h"
#include "client/SdBusPowerBackend.h"
#include "notetool/NoteToolWindows.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/PanelWindows.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"
#include "platform/X11Display.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/WindowController.h"
#include "streaming/CaptureStartUp.h"
#include "viewer/ScreenShareViewController.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kNoDisplayStatus = 1;
constexpr const char* kQtPlatformVariable = "QT_QPA_PLATFORM";
constexpr const char* kX11Platform = "xcb";

// The agent shows its windows where it captures and locks: on the X11 display. A shell that has
// chosen another Qt platform (offscreen, wayland) would leave it drawing nowhere the student sees,
// so the choice is overridden, and said once on the terminal.
void useX11Platform() {
    const char* platformName = std::getenv(kQtPlatformVariable);
    if (platformName && std::string(platformName).rfind(kX11Platform, 0) == 0)
        return;
    if (platformName && *platformName)
        std::fprintf(stderr, "olvex-student: %s=%s ignored: the agent runs on the X11 display.\n",
                     kQtPlatformVariable, platformName);
    ::setenv(kQtPlatformVariable, kX11Platform, 1);
}

// Without an X server Qt aborts with a hint about reinstalling the application. The agent says in
// one line what it lacks instead.
bool haveDisplay() {
    const std::string problem = platform::X11Display::connectionProblem();
    if (problem.empty())
        return true;
    const std::string line = "olvex-student needs an X11 display: " + problem + ".";
    std::fprintf(stderr, "%s\n", line.c_str());
    platform::logf("[ZQ]%s", line.c_str());
    return false;
}

// The capture objects live until the process ends.
std::shared_ptr<void>& captureObjects() {
    static std::shared_ptr<void> objects;
    return objects;
}

// Made only when screen capture is allowed: the capture pipeline, which answers the main panel's
// login notice by creating, connecting and keeping the client object of the login, and runs the
// heartbeat. The main view controller learns the capture object as the heartbeat's sender, so a
// silent console ends the agent, and receives each login's client.
void createCaptureObjects() {
    auto heartbeatSender = std::make_shared<const void*>(nullptr);
    streaming::CaptureStartOptions options;
    options.handoff = [heartbeatSender](const std::shared_ptr<client::StudentClient>& studentClient) {
        if (auto controller = panel::AppDelegate::shared().getMainViewController()) {
            controller->setHeartbeatSender(*heartbeatSender);
            controller->setStudentClient(studentClient);
        }
    };
    auto capture =
        std::make_shared<streaming::ScreenCapture>(streaming::startScreenCapture(std::move(options)));
    *heartbeatSender = capture->captureObject();
    captureObjects() = std::move(capture);
}

int runApplication(int& argc, char** argv, client::ScreenCapturePermission& permission) {
    desktop::Application application(argc, argv);
    desktop::installWorkspaceHandlers();
    panel::registerPanelWindows();
    notetool::registerNoteToolWindows();
    streaming::registerViewerWindows();
    panel::AppDelegate& delegate = panel::AppDelegate::shared();
    delegate.setScreenCapturePermission(&permission);
    delegate.applicationDidFinishLaunching();
    if (auto first = desktop::WindowRegistry::instantiate(desktop::storyboard::kPermissionWindow))
        first->showWindow();
    // Ends here, while the windows still have their application.
    platform::terminate(application.exec());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    useX11Platform();
    if (!haveDisplay()) {
        platform::terminate(kNoDisplayStatus);
        return kNoDisplayStatus;
    }
    client::SdBusPowerBackend power;
    client::X11ScreenCapturePermission permission;
    const client::StartUpSteps steps{power, permission, createCaptureObjects,
                                     [&] { return runApplication(argc, argv, permission); }};
    platform::terminate(client::runProcessStartUp(steps));
    return 0;
}
