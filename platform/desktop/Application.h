// The application object: the Qt application, the main queue on Qt's event loop, the screen cache
// (platform/Screens.h) kept current with display-change notices, and the workspace services
// (platform/Workspace.h). Qt's own messages go into the agent's log (QtMessages.h) from the start.
// One per process, made and run on the main thread.
#pragma once

#include "platform/desktop/QtRunLoop.h"

#include <QApplication>
#include <memory>
#include <string>

namespace desktop {

class Application {
public:
    // argc must outlive the application (Qt keeps a reference to it).
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the event loop until quit(); returns its exit code.
    int exec();
    void quit(int status = 0);

    QApplication& qt() { return *m_app; }
    QtRunLoop& runLoop() { return *m_runLoop; }

    // Reads the screens into the cache and tells the display-change handlers (main thread).
    static void refreshScreens();

private:
    void watchScreens();

    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QtRunLoop> m_runLoop;
};

// Brings the agent's shown windows forward, as a second start of the agent on this desktop asks:
// a minimised one is restored, each comes to the front (the levelled ones in level order), and the
// window that last held the keyboard gets it again. Hidden windows stay hidden. Main thread.
void activateApplication();

// The workspace services on this desktop: http and https URLs open in the user's browser (other
// schemes are refused), folders open in the file manager. Callable from any thread: the opening
// is queued on the main thread and the answer says whether it was queued.
bool openURLOnDesktop(const std::string& url);
bool revealFolderOnDesktop(const std::string& path);
// Installs the two into platform::setWorkspaceHandlers.
void installWorkspaceHandlers();

} // namespace desktop
