// Window and view controllers, and the registry that makes them by storyboard identifier.
// A window class registers a factory for its identifier; instantiate() builds the window, loads its
// content view (viewDidLoad) and then runs windowDidLoad before it returns, so the new controller's
// observers are in place when the caller posts right after creating it. Main thread only.
#pragma once

#include "platform/desktop/Window.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

class WindowController;

// Storyboard identifiers of the agent's windows.
namespace storyboard {
constexpr const char* kPermissionWindow = "permissionWindow";
constexpr const char* kLoginWindow = "loginWindow";
constexpr const char* kMainWindow = "mainWindow";
constexpr const char* kCanvasWindow = "canvasWindow";
constexpr const char* kMessageboxWindow = "messageboxWindow";
constexpr const char* kMessageWindow = "messageWindow";
constexpr const char* kScreenShareWindow = "screenShareWindow";
constexpr const char* kFileUploaderWindow = "fileUploaderWindow";
constexpr const char* kLockViewWindow = "lockViewWindow";
constexpr const char* kMinimizeWindow = "minimizeWindow";
} // namespace storyboard

// Controls one view: the content of a window. The view belongs to the window it is placed in.
class ViewController {
public:
    ViewController();
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // The view, made by loadView() on first use.
    QWidget* view();
    bool isViewLoaded() const { return !m_view.isNull(); }
    WindowController* windowController() const { return m_windowController; }

    virtual void viewDidLoad() {}
    // After the window was first shown.
    virtual void viewDidAppear() {}

protected:
    // Builds the view; the default is an empty widget.
    virtual std::unique_ptr<QWidget> loadView();

private:
    friend class WindowController;
    QPointer<QWidget> m_view;
    std::unique_ptr<QWidget> m_unplacedView; // owned here until a window takes it
    WindowController* m_windowController = nullptr;
};

class WindowController : public std::enable_shared_from_this<WindowController> {
public:
    // content may be null (a window without a view controller).
    WindowController(std::unique_ptr<Window> window, std::unique_ptr<ViewController> content);
    virtual ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    Window* window() const { return m_window.get(); }
    ViewController* contentViewController() const { return m_content.get(); }
    const std::string& identifier() const { return m_identifier; }

    // Places the content view, runs its viewDidLoad, then windowDidLoad. Once; the registry calls it.
    void loadWindow();
    bool isWindowLoaded() const { return m_loaded; }

    // Shows the window at its level and makes it the key window; the controller stays alive while
    // its window is open, even when the caller keeps no reference (a message box nobody holds).
    void showWindow();
    // Closes the window from the program: windowShouldClose is not asked.
    void close();
    bool isOpen() const { return m_open; }

    // The window's delegate for a user's close request: when set it is asked instead of
    // windowShouldClose (the application makes closing some windows end the process).
    void setCloseDelegate(std::function<bool()> delegate) { m_closeDelegate = std::move(delegate); }

protected:
    virtual void windowDidLoad() {}
    // A user's request to close the window; false keeps it. A borderless window has no close control,
    // so a request for it comes only from a window manager (Alt+F4, a taskbar): refused unless the
    // window's controller gives it the road of a control of its own.
    virtual bool windowShouldClose() { return m_window->style() == Window::Style::Titled; }
    // After the window closed (either way).
    virtual void windowDidClose() {}

private:
    friend class WindowRegistry;
    void handleClosed();

    std::unique_ptr<Window> m_window;
    std::unique_ptr<ViewController> m_content;
    std::function<bool()> m_closeDelegate;
    std::string m_identifier;
    bool m_loaded = false;
    bool m_open = false;
    bool m_appeared = false;
};

// Factories by storyboard identifier.
class WindowRegistry {
public:
    using Factory = std::function<std::shared_ptr<WindowController>()>;

    // Replaces an earlier factory of the same identifier.
    static void registerFactory(const std::string& identifier, Factory factory);
    static void unregisterFactory(const std::string& identifier);
    static bool has(const std::string& identifier);
    static std::vector<std::string> identifiers();

    // A new, loaded controller; null (and a log line) for an unknown identifier.
    static std::shared_ptr<WindowController> instantiate(const std::string& identifier);

    // Controllers whose windows are open.
    static std::size_t openCount();
    // Closes every open window from the program and drops the controllers (before the
    // application object goes away, so no window outlives it).
    static void closeAll();
};

} // namespace desktop
