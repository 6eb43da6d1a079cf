// The teacher-screen viewer's controller: observes the client object's screen events (updates and
// H.264 frames on the receive thread, show, init and stop on the main queue), keeps the waiting
// lists, and on its 0.01-second tick applies every waiting update to the model within a few
// milliseconds and presents the canvas once. The observers hold the viewer weakly, and closing
// waits for deliveries in flight. Main thread, except the observers.
#pragma once

#include "panel/ScreenShareViewing.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/WindowController.h"
#include "viewer/H264NalScan.h"
#include "viewer/PendingUpdates.h"
#include "viewer/ScreenShareModel.h"
#include "viewer/ScreenShareView.h"

#include <QPointer>
#include <memory>

namespace viewer {

// Posted by nobody today; the viewer clears its picture on it.
constexpr const char* kScreenShareInitReceived = "POST_MSG_RECEIVED_SCREEN_SHARE_INIT";

class ScreenShareViewController : public desktop::ViewController, public panel::ScreenShareViewing {
public:
    static constexpr double kRefreshInterval = 0.01;
    // Time a tick may spend on waiting updates before it presents what it has.
    static constexpr double kTickBudgetSeconds = 0.008;
    // Updates applied together (their strips decoded in parallel) before the time is looked at.
    static constexpr std::size_t kMaxUpdatesPerBatch = 32;
    static constexpr std::size_t kMaxWaitingUpdates = 512;
    static constexpr std::size_t kMaxWaitingUpdateBytes = 64u * 1024 * 1024;
    static constexpr std::size_t kMaxWaitingFrames = 120;
    static constexpr std::size_t kMaxWaitingFrameBytes = 64u * 1024 * 1024;

    explicit ScreenShareViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~ScreenShareViewController() override;

    void viewDidLoad() override;
    void viewDidAppear() override;

    // panel::ScreenShareViewing
    void setStudentClientSource(StudentClientSource source) override;
    void initCanvas() override;
    bool getAnswerEnabled() const override { return m_model.getAnswerEnabled(); }
    int getScreenCanvasWidth() const override { return m_model.getScreenCanvasWidth(); }
    int getScreenCanvasHeight() const override { return m_model.getScreenCanvasHeight(); }

    // One refresh tick (the timer calls it; tests and benchmarks may too).
    void screenRefresher();
    // Stops the tick, the observers (waiting for deliveries in flight) and drops the lists and the
    // application delegate's references to this viewer. Runs when the window closes.
    void memoryClear();

    ScreenShareModel& model() { return m_model; }
    ScreenShareView* canvasView() const { return m_imageViewCanvas; }
    std::size_t waitingUpdates() const { return m_feed ? m_feed->screen.size() : 0; }
    std::size_t waitingFrames() const { return m_feed ? m_feed->h264.size() : 0; }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    // What the receive thread hands over; the observers reach it weakly.
    struct Feed {
        Feed();
        PendingUpdates screen;
        PendingUpdates h264;
    };
    void addObservers();
    std::shared_ptr<desktop::ViewController> selfReference();
    bool answersEnabledNow() const;

    platform::NotificationCenter& m_pNotificationCenter;
    platform::ObserverSet m_observers;
    std::shared_ptr<platform::UserDefaults> m_shared;
    std::shared_ptr<Feed> m_feed;
    std::shared_ptr<platform::Timer> m_screenRefreshTimer;
    ScreenShareModel m_model;
    QPointer<ScreenShareView> m_imageViewCanvas;
};

class ScreenShareWindowController : public desktop::WindowController {
public:
    explicit ScreenShareWindowController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ScreenShareViewController* viewer() const;

protected:
    void windowDidLoad() override;
    void windowDidClose() override;
};

// Makes the viewer known to the window registry as "screenShareWindow"; its events come from center.
void registerViewerWindows(
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

} // namespace viewer
