// The application's delegate: makes the blinking overlay and the hidden centre window at launch,
// keeps the registry of window and view controllers that other windows reach (the main panel, the
// login window, the canvas, the teacher-screen viewer), brings the windows forward when another
// start of the agent asks, and ends the process when the student closes the login window, which it
// is the delegate of. Main thread, except the getters, which any thread may call.
#pragma once

#include "panel/SmallWindows.h"
#include "platform/desktop/WindowController.h"
#include "startup/ScreenCapturePermission.h"

#include <memory>
#include <mutex>

namespace panel {

class MainViewController;

class AppDelegate {
public:
    static constexpr int kExitStatus = 0;
    static constexpr const char* kNoteFolder = "OLVEX";

    static AppDelegate& shared();

    void applicationDidFinishLaunching();
    void applicationWillTerminate() {}
    // A student's close of a delegated window: ends the process at once (never answers).
    bool windowShouldClose();
    // Another start of the agent on this desktop found this one running and ended: the student
    // wants the agent, so its windows come forward.
    void anotherStartAsksForward();

    std::shared_ptr<desktop::WindowController> getMainWindowController() const;
    void setMainWindowController(std::shared_ptr<desktop::WindowController> controller);
    void setLoginWindowController(std::shared_ptr<desktop::WindowController> controller);
    std::shared_ptr<desktop::WindowController> getLoginWindowController() const;
    void setCanvasController(std::shared_ptr<desktop::WindowController> controller);
    std::shared_ptr<desktop::WindowController> getCanvasWindowController() const;
    std::shared_ptr<MainViewController> getMainViewController() const;
    void setMainViewController(std::shared_ptr<MainViewController> controller);
    std::shared_ptr<desktop::ViewController> getCanvasViewController() const;
    void setCanvasViewController(std::shared_ptr<desktop::ViewController> controller);
    std::shared_ptr<desktop::WindowController> getScreenShareWindowController() const;
    void setScreenShareWindowController(std::shared_ptr<desktop::WindowController> controller);
    std::shared_ptr<desktop::ViewController> getScreenShareViewController() const;
    void setScreenShareViewController(std::shared_ptr<desktop::ViewController> controller);
    CenterHidedWindow* getCenterHidedWindow() const { return m_centerHidedWindow.get(); }
    BlinkOverlayWindow* getOverlayWindow() const { return m_overlayWindow.get(); }

    // The screen-capture check the permission window asks (set by main before the first window).
    void setScreenCapturePermission(startup::ScreenCapturePermission* permission) {
        m_permission = permission;
    }
    startup::ScreenCapturePermission* getScreenCapturePermission() const { return m_permission; }

    // Menu actions.
    void onDebugLoginTeacher();
    void onClickNoteOpen();

    // Drops every window and controller (tests; before the application object goes away).
    void resetForTesting();

private:
    void startOverlayBlink();
    void showCenterHidedWindow();

    mutable std::mutex m_lock;
    std::shared_ptr<desktop::WindowController> m_mainWndController;
    std::shared_ptr<desktop::WindowController> m_loginWndController;
    std::shared_ptr<desktop::WindowController> m_canvasWndController;
    std::shared_ptr<desktop::WindowController> m_screenShareWndController;
    std::shared_ptr<MainViewController> m_mainViewController;
    std::shared_ptr<desktop::ViewController> m_canvasViewController;
    std::shared_ptr<desktop::ViewController> m_screenShareViewController;
    std::unique_ptr<BlinkOverlayWindow> m_overlayWindow;
    std::unique_ptr<CenterHidedWindow> m_centerHidedWindow;
    startup::ScreenCapturePermission* m_permission = nullptr;
};

} // namespace panel
