// olvex-student: makes sure it is the one agent of this desktop, keeps the computer awake, checks
// screen capture and makes the capture objects when it is allowed, then runs the application,
// whose first window is the permission window. Every end of the process goes through
// platform::terminate, so no static destructor runs under the receive and capture threads.
#include "chat/MessageWindow.h"
#include "notetool/NoteToolWindows.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/PanelWindows.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"
#include "platform/X11Display.h"
#include "platform/X11InstanceSelection.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/WindowController.h"
#include "platform/desktop/X11Desktop.h"
#include "startup/ProcessStartUp.h"
#include "startup/ScreenCapturePermission.h"
#include "startup/SdBusPowerBackend.h"
#include "streaming/CaptureStartUp.h"
#include "transfer/PanelTransfers.h"
#include "viewer/ScreenShareViewController.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kNoDisplayStatus = 1;
constexpr int kAlreadyRunningStatus = 0;
constexpr const char* kQtPlatformVariable = "QT_QPA_PLATFORM";
constexpr const char* kX11Platform = "xcb";
// The selection of each X screen that the running agent owns (its name gets the screen number).
constexpr const char* kInstanceSelection = "_OLVEX_STUDENT";

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

// One agent per desktop: two on one display fight over the stacking of their windows for ever, and
// both would join the class from one seat. Answers false when another agent runs there: it was
// asked to bring its windows forward, and this start ends before it takes anything of the desktop
// (power assertions, windows). A display that cannot be asked does not keep the agent from running.
bool claimDesktop(std::unique_ptr<platform::X11InstanceSelection>& held) {
    auto claim = platform::X11InstanceSelection::Claim::Failed;
    std::string error;
    held = platform::X11InstanceSelection::claim({}, kInstanceSelection, claim, error);
    if (claim == platform::X11InstanceSelection::Claim::HeldByAnother) {
        const char* display = std::getenv("DISPLAY");
        const std::string line = std::string("olvex-student is already running on display ") +
                                 (display ? display : "") + "; asked it to bring its windows forward.";
        std::fprintf(stderr, "%s\n", line.c_str());
        platform::logf("[ZQ]%s", line.c_str());
        return false;
    }
    if (claim == platform::X11InstanceSelection::Claim::Failed)
        platform::logf("[ZQ]Cannot tell whether another agent runs on this display: %s.", error.c_str());
    return true;
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

int runApplication(int& argc, char** argv, startup::ScreenCapturePermission& permission,
                   platform::X11InstanceSelection* desktopClaim) {
    desktop::Application application(argc, argv);
    desktop::installWorkspaceHandlers();
    panel::registerPanelWindows();
    transfer::registerTransferWindows();
    chat::registerChatWindows();
    notetool::registerNoteToolWindows();
    viewer::registerViewerWindows();
    panel::AppDelegate& delegate = panel::AppDelegate::shared();
    delegate.setScreenCapturePermission(&permission);
    delegate.applicationDidFinishLaunching();
    if (desktopClaim)
        desktop::x11::watchForwardRequests(*desktopClaim,
                                           [&delegate] { delegate.anotherStartAsksForward(); });
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
    // Held for the life of the process: the X server frees it when the process ends.
    std::unique_ptr<platform::X11InstanceSelection> desktopClaim;
    if (!claimDesktop(desktopClaim)) {
        platform::terminate(kAlreadyRunningStatus);
        return kAlreadyRunningStatus;
    }
    startup::SdBusPowerBackend power;
    startup::X11ScreenCapturePermission permission;
    const startup::StartUpSteps steps{power, permission, createCaptureObjects, [&] {
                                          return runApplication(argc, argv, permission, desktopClaim.get());
                                      }};
    platform::terminate(startup::runProcessStartUp(steps));
    return 0;
}
