// The minimised note-tool panel: a small borderless tab at the panel level that the student drags
// and clicks to bring the panel back, unless the teacher has locked it. Made by identifier
// "minimizeWindow". Main thread; the lock observer acts only on posts made there (the note-tool panel
// hands the teacher's commands on to the main thread in their order).
#pragma once

#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QWidget>
#include <atomic>

namespace notetool {

class MinimizeWindow : public desktop::Window {
public:
    MinimizeWindow();
};

class MinimizeView : public QWidget {
public:
    static constexpr const char* kObjectName = "minimizeView";
    explicit MinimizeView(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~MinimizeView() override;

    // The observer of the teacher's lock of the tab: only the note-tool panel's posts on the main
    // thread count; an unlock returns the tab's closing for the main queue.
    platform::Block onMaximizeMode(const platform::Notification& note);
    void maximizeNoteTool();
    bool isLocked() const { return m_bNoteToolMaximizeLock.load(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPointF locationInWindow(const QMouseEvent* event) const;

    platform::NotificationCenter& m_pNotificationCenter;
    platform::ObserverSet m_observers;
    bool m_bMoving = false;
    float m_fRemainX = 0.0f;
    float m_fRemainY = 0.0f;
    std::atomic<bool> m_bNoteToolMaximizeLock{false};
    bool m_bClosed = false; // the tab closed to bring the panel back
};

class MinimizeWindowController : public desktop::WindowController {
public:
    static constexpr double kTabSide = 100.0;
    static constexpr double kTabRise = 100.0; // above the panel's origin

    explicit MinimizeWindowController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    void callbackOnReceivedMinimizeWindow(const platform::Notification& note);
    MinimizeView* tabView() const;

protected:
    void windowDidLoad() override;

private:
    platform::ObserverSet m_observers;
};

void registerMinimizeWindow();

} // namespace notetool
