// The stacking of the agent's windows: one table of levels for the whole agent, and the stack that
// keeps the agent's own windows in level order (every agent window also stays above other
// applications). Under a window manager the order is kept whatever the student clicks: every
// restack of a top-level window by anyone makes the stack look again. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

class QWidget;

namespace desktop {

namespace level {
constexpr int kScreenShareViewer = 20;
constexpr int kDrawingCanvas = 21;
// Main panel, chat window, upload progress window and the minimised note-tool tab.
constexpr int kPanel = 22;
constexpr int kLockScreen = 23;
// Message boxes and the hidden centre window.
constexpr int kMessageBox = 24;
constexpr int kBlinkOverlay = 25;
// A window that never set a level (permission and login windows) lies below all of these.
constexpr int kNormal = 0;
// An application-modal alert stands with the panel windows, in front of them.
constexpr int kModalAlert = kPanel;
} // namespace level

// The lock screen and the blinking overlay bypass the window manager (override-redirect on X11).
// A managed window can be closed, minimised, moved and raised by the manager on the student's
// request (Alt+F4, a taskbar, a click) and only the manager decides its stacking; a window the
// manager never sees gets none of these, and the agent places it itself. The other levels stay
// managed: they take the keyboard (chat, viewer) and a title bar (message box).
constexpr bool bypassesWindowManager(int windowLevel) {
    return windowLevel == level::kLockScreen || windowLevel == level::kBlinkOverlay;
}

// The full-screen windows the panel's windows stand on: the teacher-screen viewer and the drawing
// canvas. A window manager may take such a borderless screen-sized window, once it has the focus,
// for a full-screen one and put it above every "always on top" window (openbox does); so every
// managed agent window of a higher level is declared its transient, which managers keep above it.
constexpr bool isBackdrop(int windowLevel) {
    return windowLevel == level::kScreenShareViewer || windowLevel == level::kDrawingCanvas;
}

struct LevelEntry {
    int level;
    const char* windows;
};

inline constexpr std::array kWindowLevels = {
    LevelEntry{level::kScreenShareViewer, "teacher-screen viewer"},
    LevelEntry{level::kDrawingCanvas, "drawing canvas"},
    LevelEntry{level::kPanel, "main panel, chat, upload progress, minimised tab"},
    LevelEntry{level::kLockScreen, "lock screen"},
    LevelEntry{level::kMessageBox, "message box, hidden centre window"},
    LevelEntry{level::kBlinkOverlay, "blinking overlay"},
};

// The agent's windows by level. A window joins when it is shown and leaves when the program hides it
// or it is destroyed (a minimise by the window manager keeps it); restack() puts them in level order
// on the window system. Within one level the window brought forward last lies on top. A sheet (an
// alert attached to a window) lies right above its owner, whatever else is brought forward at the
// owner's level. While a backdrop is open, the managed windows above it are kept within the
// student's reach: a window the manager minimises is restored (or minimised its own way, see
// Window::shouldMiniaturizeOverBackdrop), and on X11 one sent below, hidden, to another desktop or
// off the screen is brought back over the backdrop.
class WindowStack {
public:
    static WindowStack& shared();

    // Brings window to the front of its level and restacks every agent window.
    void orderFront(QWidget* window, int level, QWidget* owner = nullptr);
    void setLevel(QWidget* window, int level);
    void remove(QWidget* window);
    // For windows that are not desktop::Window (alerts): joins the stack whenever the widget is
    // shown, leaves it when hidden or destroyed.
    void track(QWidget* window, int level, QWidget* owner = nullptr);

    bool contains(const QWidget* window) const;
    // Whether a backdrop of a lower level than window's lies in the stack (shown, or minimised by
    // the window manager).
    bool standsOverBackdrop(const QWidget* window) const;

    // Windows from bottom to top.
    std::vector<QWidget*> order() const;
    void restack();

private:
    struct Entry {
        QWidget* window;
        int level;
        std::uint64_t raised;
        QWidget* owner;
    };
    void watchWindowSystem();
    void keepAboveBackdrops(const std::vector<QWidget*>& bottomToTop) const;
    void keepWithinReach(const std::vector<QWidget*>& bottomToTop) const;
    const Entry* find(const QWidget* window) const;
    std::vector<Entry> m_entries;
    std::uint64_t m_nextRaise = 1;
};

} // namespace desktop
