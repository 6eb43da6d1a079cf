#include "platform/desktop/Application.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"
#include "platform/desktop/Geometry.h"
#include "platform/desktop/QtMessages.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/WindowController.h"
#include "platform/desktop/WindowLevels.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QWindow>

namespace desktop {
namespace {

// The handler comes first: the platform plugin speaks while the application is being made.
std::unique_ptr<QApplication> makeQtApplication(int& argc, char** argv) {
    installQtMessageHandler();
    return std::make_unique<QApplication>(argc, argv);
}

// The agent's window that held the keyboard last; Qt forgets it while another program has it.
QPointer<QWindow>& lastFocusWindow() {
    static QPointer<QWindow> window; // main thread only
    return window;
}

} // namespace

Application::Application(int& argc, char** argv)
    : m_app(makeQtApplication(argc, argv)), m_runLoop(std::make_unique<QtRunLoop>()) {
    // Closing the last window must not end the loop: the agent's exits are its own decisions.
    QApplication::setQuitOnLastWindowClosed(false);
    m_runLoop->install();
    installWorkspaceHandlers();
    refreshScreens();
    watchScreens();
    QObject::connect(m_app.get(), &QGuiApplication::focusWindowChanged, qApp, [](QWindow* window) {
        if (window)
            lastFocusWindow() = window;
    });
}

Application::~Application() {
    WindowRegistry::closeAll();
    platform::setWorkspaceHandlers({});
    m_runLoop.reset(); // uninstalls the main queue backend
    m_app.reset();
}

int Application::exec() {
    return QApplication::exec();
}

void Application::quit(int status) {
    QApplication::exit(status);
}

void Application::refreshScreens() {
    platform::ScreenInfo info;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) {
        info.width = primary->geometry().width();
        info.height = primary->geometry().height();
        info.menuBarHeight = menuBarHeight();
        info.scales.push_back(primary->devicePixelRatio());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            info.scales.push_back(screen->devicePixelRatio());
    }
    platform::screens::setInfo(std::move(info));
    platform::screens::notifyDisplayChanged();
}

void Application::watchScreens() {
    auto watch = [](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, qApp, [] { refreshScreens(); });
        QObject::connect(screen, &QScreen::availableGeometryChanged, qApp, [] { refreshScreens(); });
        QObject::connect(screen, &QScreen::physicalDotsPerInchChanged, qApp, [] { refreshScreens(); });
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    QObject::connect(m_app.get(), &QGuiApplication::screenAdded, qApp, [watch](QScreen* screen) {
        watch(screen);
        refreshScreens();
    });
    QObject::connect(m_app.get(), &QGuiApplication::screenRemoved, qApp, [] { refreshScreens(); });
    QObject::connect(m_app.get(), &QGuiApplication::primaryScreenChanged, qApp, [] { refreshScreens(); });
}

void activateApplication() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible())
            continue;
        if (widget->isMinimized())
            widget->setWindowState(widget->windowState() & ~Qt::WindowMinimized);
        // The levelled windows keep their order among themselves; the stack places them below.
        const auto* window = dynamic_cast<const Window*>(widget);
        if (!window || window->level() == level::kNormal)
            widget->raise();
    }
    WindowStack::shared().restack();
    QWindow* focus = lastFocusWindow();
    if (focus && focus->isVisible())
        focus->requestActivate();
}

bool openURLOnDesktop(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        parsed.host().isEmpty()) {
        platform::logf("[ZQ]Refused to open URL %s.", url.c_str());
        return false;
    }
    platform::mainQueue::async([parsed] {
        if (!QDesktopServices::openUrl(parsed))
            platform::logf("[ZQ]URL open failure.");
    });
    return true;
}

bool revealFolderOnDesktop(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isDir()) {
        platform::logf("[ZQ]No folder to show at %s.", path.c_str());
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    platform::mainQueue::async([url] {
        if (!QDesktopServices::openUrl(url))
            platform::logf("[ZQ]Folder open failure.");
    });
    return true;
}

void installWorkspaceHandlers() {
    platform::setWorkspaceHandlers({&openURLOnDesktop, &revealFolderOnDesktop});
}

} // namespace desktop
