// The main panel: a borderless see-through window at the panel level, flush with the right edge of
// the primary screen, holding the note-tool panel; its controller keeps the note-tool mode and puts
// the window back when the minimised tab is clicked; the title strip drags it. Made by identifier
// "mainWindow". Main thread.
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QWidget>
#include <functional>

namespace panel {

class MainWindow : public desktop::Window {
public:
    MainWindow();
};

class MainWindowController : public desktop::WindowController {
public:
    static constexpr int kPanelWidth = 185;
    static constexpr int kOriginHeight = 524; // with a board open
    static constexpr int kShortHeight = 177;  // pointer mode
    // The panel's shift between the two heights (345, not 524 - 177).
    static constexpr int kDownHeight = 345;
    // The minimised tab sits this far above the panel's origin.
    static constexpr double kTabOffset = 100.0;

    explicit MainWindowController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    void setMode(int mode) { m_nMode = mode; }
    int getMode() const { return m_nMode; }
    void callbackOnReceivedMaximizeWindow(const platform::Notification& note);

    // The panel's frame on the current primary screen (bottom-left points).
    static desktop::Frame initialFrame();

protected:
    void windowDidLoad() override;
    // The window manager's close (the panel has no title bar) is the panel's close button
    // pressed; the window itself is never closed by it.
    bool windowShouldClose() override;

private:
    platform::NotificationCenter& m_pNotificationCenter;
    platform::ObserverSet m_observers;
    int m_nNoteToolViewOriginHeight = 0;
    int m_nNoteToolViewShortHeight = 0;
    int m_nNoteToolViewDownHeight = 0;
    int m_nMode = 0;
};

// The panel's title strip: pressing records where, dragging moves the window so that point stays
// under the pointer, while moveEnabled answers true (the note tool refuses moves during a drop).
class TitleView : public QWidget {
public:
    explicit TitleView(QWidget* parent = nullptr);
    std::function<bool()> moveEnabled;

    float remainX() const { return m_fRemainX; }
    float remainY() const { return m_fRemainY; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The event's location in bottom-left window coordinates.
    QPointF locationInWindow(const QMouseEvent* event) const;
    float m_fRemainX = 0.0f;
    float m_fRemainY = 0.0f;
};

void registerMainWindow();

} // namespace panel
