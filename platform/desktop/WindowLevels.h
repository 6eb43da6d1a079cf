// The stacking of the agent's windows: one table of levels for the whole agent, and the stack that
// keeps the agent's own windows in level order (every agent window also stays above other
// applications). Main thread only.
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
} // namespace level

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

// The agent's windows by level. A window joins when it is shown and leaves when it is hidden or
// destroyed; restack() raises them bottom to top so the window system shows them in level order.
// Within one level the window brought forward last lies on top.
class WindowStack {
public:
    static WindowStack& shared();

    // Brings window to the front of its level and restacks every agent window.
    void orderFront(QWidget* window, int level);
    void setLevel(QWidget* window, int level);
    void remove(QWidget* window);

    // Windows from bottom to top.
    std::vector<QWidget*> order() const;
    void restack();

private:
    struct Entry {
        QWidget* window;
        int level;
        std::uint64_t raised;
    };
    std::vector<Entry> m_entries;
    std::uint64_t m_nextRaise = 1;
};

} // namespace desktop
