#include "panel/AppDelegate.h"

#include "panel/MainViewController.h"
#include "panel/ZQFile.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"
#include "platform/Workspace.h"
#include "platform/desktop/Application.h"

namespace panel {

AppDelegate& AppDelegate::shared() {
    static AppDelegate delegate;
    return delegate;
}

void AppDelegate::applicationDidFinishLaunching() {
    startOverlayBlink();
    showCenterHidedWindow();
}

void AppDelegate::startOverlayBlink() {
    m_overlayWindow = std::make_unique<BlinkOverlayWindow>();
    // Front, but never the key window: it takes no input, so the keyboard focus stays free for the
    // permission and login windows shown next.
    m_overlayWindow->orderFront();
}

void AppDelegate::showCenterHidedWindow() {
    m_centerHidedWindow = std::make_unique<CenterHidedWindow>();
}

bool AppDelegate::windowShouldClose() {
    platform::terminate(kExitStatus);
    return false;
}

void AppDelegate::anotherStartAsksForward() {
    platform::logf("[ZQ]Another start of the agent asked for this one; its windows come forward.");
    desktop::activateApplication();
}

std::shared_ptr<desktop::WindowController> AppDelegate::getMainWindowController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mainWndController;
}

void AppDelegate::setMainWindowController(std::shared_ptr<desktop::WindowController> controller) {
    // The panel's close is its own controller's: a window manager's request presses the panel's
    // close button, which asks first; only the login window ends the process at once.
    std::lock_guard<std::mutex> lock(m_lock);
    m_mainWndController = std::move(controller);
}

void AppDelegate::setLoginWindowController(std::shared_ptr<desktop::WindowController> controller) {
    if (controller)
        controller->setCloseDelegate([this] { return windowShouldClose(); });
    std::lock_guard<std::mutex> lock(m_lock);
    m_loginWndController = std::move(controller);
}

std::shared_ptr<desktop::WindowController> AppDelegate::getLoginWindowController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_loginWndController;
}

void AppDelegate::setCanvasController(std::shared_ptr<desktop::WindowController> controller) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_canvasWndController = std::move(controller);
}

std::shared_ptr<desktop::WindowController> AppDelegate::getCanvasWindowController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_canvasWndController;
}

std::shared_ptr<MainViewController> AppDelegate::getMainViewController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mainViewController;
}

void AppDelegate::setMainViewController(std::shared_ptr<MainViewController> controller) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_mainViewController = std::move(controller);
}

std::shared_ptr<desktop::ViewController> AppDelegate::getCanvasViewController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_canvasViewController;
}

void AppDelegate::setCanvasViewController(std::shared_ptr<desktop::ViewController> controller) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_canvasViewController = std::move(controller);
}

std::shared_ptr<desktop::WindowController> AppDelegate::getScreenShareWindowController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_screenShareWndController;
}

void AppDelegate::setScreenShareWindowController(std::shared_ptr<desktop::WindowController> controller) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_screenShareWndController = std::move(controller);
}

std::shared_ptr<desktop::ViewController> AppDelegate::getScreenShareViewController() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_screenShareViewController;
}

void AppDelegate::setScreenShareViewController(std::shared_ptr<desktop::ViewController> controller) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_screenShareViewController = std::move(controller);
}

void AppDelegate::onDebugLoginTeacher() {
    if (auto login = getLoginWindowController())
        login->close();
    auto main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    if (!main)
        return;
    setMainWindowController(main);
    main->showWindow();
}

void AppDelegate::onClickNoteOpen() {
    const std::string documents = ZQFile::getDocumentPath();
    if (!ZQFile::isFile(documents, kNoteFolder) && !ZQFile::NewDir(documents, kNoteFolder))
        return;
    platform::revealFolder(documents + "/" + kNoteFolder);
}

void AppDelegate::resetForTesting() {
    std::shared_ptr<desktop::WindowController> main, login, canvas, share;
    std::shared_ptr<MainViewController> mainView;
    std::shared_ptr<desktop::ViewController> canvasView, shareView;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        main.swap(m_mainWndController);
        login.swap(m_loginWndController);
        canvas.swap(m_canvasWndController);
        share.swap(m_screenShareWndController);
        mainView.swap(m_mainViewController);
        canvasView.swap(m_canvasViewController);
        shareView.swap(m_screenShareViewController);
    }
    m_overlayWindow.reset();
    m_centerHidedWindow.reset();
    m_permission = nullptr;
}

} // namespace panel
