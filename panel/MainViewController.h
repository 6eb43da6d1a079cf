// The main panel's view controller and the hub of the logged-in student: when its view loads it
// registers with the application delegate, resets the per-login settings, observes the client
// object's events that open windows (viewer, lock screen, lost link, share-board erase-all, chat) or
// carry received file pieces, hands those pieces and dropped files to its file transfer (made by the
// transfer library), and announces the login, which makes the capture object create and hand over
// the client. Observers run on the posting thread and hand window work to the main queue (file
// pieces are written on the receive thread); everything else is main-thread.
#pragma once

#include "client/StudentClient.h"
#include "panel/FileTransfers.h"
#include "panel/NoteToolSettings.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/WindowController.h"

#include <QAbstractButton>
#include <QImage>
#include <QPointer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace panel {

class TitleView;

class MainViewController : public desktop::ViewController {
public:
    static constexpr std::uint32_t kPanelBackground = 0x1E558D;
    static constexpr int kPanelHeight = 177;
    static constexpr int kTitleHeight = 24;
    // The lost-link box: caution icon, no button, ends the process when it closes.
    static constexpr float kDisconnectCloseTime = 3.2f;
    static constexpr const char* kLockOn = "true";
    static constexpr const char* kLockOff = "false";

    explicit MainViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~MainViewController() override;

    void viewDidLoad() override;
    void viewWillDisappear() {}

    // The centre the controller observes and posts on.
    platform::NotificationCenter& notificationCenter() const { return m_pNotificationCenter; }

    // Any thread.
    std::shared_ptr<client::StudentClient> getStudentClient() const;
    void setStudentClient(std::shared_ptr<client::StudentClient> studentClient);
    // The object the heartbeat posts a lost link with (the capture object), besides the client and
    // its links.
    void setHeartbeatSender(const void* sender) { m_heartbeatSender.store(sender); }
    // Whether a lost-link notice from sender concerns this login.
    bool isCurrentLinkSender(const void* sender) const;

    bool getIsRetinaDisplay() const { return m_bIsRetinaDisplay; }
    void showMainView();
    void setIsOpenChatView(bool open) { m_bIsOpenedChatView.store(open); }
    bool isOpenedChatView() const { return m_bIsOpenedChatView.load(); }
    void setIsScreenShareCaptured(bool value) { m_bIsScreenShareCaptured.store(value); }
    void setScreenShareWindowOpenStatus(bool value) { m_bOpenScreenShareWindow.store(value); }
    void onClickMinimize();

    // Opens a message box (any thread; queued on the main queue).
    void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden);
    void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden, int exit);

    static int getClientWidth();
    static int getClientHeight();

    // The note tool tells here whether the panel may be dragged (it refuses during a file drop).
    void setMoveEnabledQuery(std::function<bool()> query);
    bool isMoveEnabled() const;

    // The note-tool panel that fills the view, built by the installer the note tool registers, and
    // the drawing settings it keeps (held weakly: the panel belongs to the view). Main thread.
    using NoteToolInstaller = std::function<void(MainViewController& controller, QWidget* area)>;
    static void setNoteToolInstaller(NoteToolInstaller installer);
    std::shared_ptr<NoteToolSettings> getNoteToolView() const { return m_pNoteToolView.lock(); }
    void setNoteToolView(std::weak_ptr<NoteToolSettings> panel) { m_pNoteToolView = std::move(panel); }

    // Board backgrounds for the next drawing canvas (MainViewBoards.cpp). Main thread.
    using ScreenStillSource = std::function<QImage()>;
    static void setScreenStillSource(ScreenStillSource source);
    void setWhiteBoardImageDataForCanvas();
    // Captures the screen and posts "POST_MSG_PRESSED_SCREEN_CAPTURE_BOARD".
    void setCaptureBoardImageDataForCanvas();
    const QImage& getCaptureBoardImageData() const { return m_captureBoardImageData; }
    void setCaptureBoardImageDataNil() { m_captureBoardImageData = QImage(); }

    // The observers. Each runs on the posting thread; those that return a block return the window
    // work for the main queue (empty: none), which platform::onMainQueue queues.
    void callbackOnReceivedScreenUploadEnable(const platform::Notification& note);
    platform::Block callbackOnReceivedBroadcast(const platform::Notification& note);
    platform::Block callbackDisconnect(const platform::Notification& note);
    platform::Block callbackOnReceivedScreenLock(const platform::Notification& note);
    void callbackShareBoardRemoveAll(const platform::Notification& note);
    // Opens the teacher-screen viewer, or has the open one read its mode again (main thread).
    void showScreenShareWindow();

    // Chat and files (MainViewControllerTransfers.cpp).
    platform::Block callbackOnReceivedChat(const platform::Notification& note);
    void callbackOnReceivedFileData(const platform::Notification& note);
    // The drop target's drop (main thread): starts sending, or answers the refusing box's key.
    const char* sendFileToServer(const std::vector<std::string>& paths);
    std::shared_ptr<desktop::WindowController> chatWindowController() const {
        return m_chatWndController.lock();
    }
    // The file transfer the transfer library made for this panel, with the drop target it placed in
    // the view (null without one). Main thread.
    using FileTransfersFactory =
        std::function<std::unique_ptr<FileTransfers>(MainViewController& controller, QWidget* view)>;
    static void setFileTransfersFactory(FileTransfersFactory factory);
    FileTransfers* fileTransfers() const { return m_fileTransfers.get(); }
    QWidget* fileDropView() const { return m_fileTransfers ? m_fileTransfers->dropView() : nullptr; }

    // The open lock window (main thread; for the panel and tests).
    std::shared_ptr<desktop::WindowController> lockViewWindowController() const {
        return m_lockViewWndController;
    }
    bool isScreenLocked() const { return m_lockViewWndController && m_lockViewWndController->isOpen(); }
    // Makes the screen match the teacher's lock state (main thread): a lock that stands is put back
    // as it was placed, whatever another program did to it.
    void applyScreenLock(bool locked);

    // The panel's close button, which the note tool places (main thread).
    void setCloseButton(QAbstractButton* button) { m_closeButton = button; }
    // A window manager's close request on the panel (Alt+F4, a taskbar, a close sent by another
    // program) takes the road of the close button: the button is pressed, so the student is asked
    // before the ordered end; nothing happens while the teacher hides the button or the lock
    // stands or the student is being asked already. Main thread.
    void closeRequestedByWindowManager();
    // The close question the note tool asks on the close button (main thread). One at a time: while
    // it stands no close request asks again, and the lock dismisses it as a "cancel".
    void setCloseQuestion(QWidget* question) { m_closeQuestion = question; }
    bool isCloseQuestionOpen() const { return m_closeQuestion && m_closeQuestion->isVisible(); }
    TitleView* titleView() const { return m_titleView; }
    // The panel's minimise button, which the note tool places, and a window manager's minimise of
    // the panel over a board, which takes the road of that button (into the tab, which the student
    // can always click): true when it did. Main thread.
    void setMinimizeButton(QAbstractButton* button) { m_minimizeButton = button; }
    bool minimizeRequestedByWindowManager();

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    std::shared_ptr<MainViewController> selfReference();
    void addScreenShareObservers();
    void addTransferObservers();
    void showTeacherChat(const std::string& text);
    void dismissCloseQuestion();
    void showPendingChat(); // main thread
    static void installNoteTool(MainViewController& controller, QWidget* area);

    platform::NotificationCenter& m_pNotificationCenter;
    // Declared before the observers, so no delivery still runs when they go.
    std::unique_ptr<FileTransfers> m_fileTransfers; // main thread; its receiving on the receive thread
    std::weak_ptr<desktop::WindowController> m_chatWndController; // main thread
    std::mutex m_chatLock;
    std::deque<std::string> m_pendingChat; // teacher lines not shown yet; guarded by m_chatLock
    bool m_bChatShowQueued = false;        // guarded by m_chatLock: one queued block shows them all
    platform::ObserverSet m_observers;
    std::shared_ptr<platform::UserDefaults> m_shared;

    mutable std::mutex m_clientLock; // the client is set on the main thread, read by receive threads
    std::shared_ptr<client::StudentClient> m_pStudentClient;
    std::atomic<const void*> m_heartbeatSender{nullptr};
    // Set by the first lost link of the session; the box that ends the process is shown once.
    std::atomic<bool> m_bLinkLost{false};

    bool m_bIsRetinaDisplay = false;
    std::atomic<bool> m_bIsScreenShareCaptured{false};
    std::atomic<bool> m_bOpenScreenShareWindow{false};
    std::atomic<bool> m_bIsOpenedChatView{false};
    std::shared_ptr<desktop::WindowController> m_lockViewWndController; // main thread
    // The lock is a state: the receive thread records the teacher's last word and queues one block
    // at a time to make the screen match it, so a burst of commands in one read costs one window.
    std::atomic<bool> m_lockWanted{false};
    std::atomic<bool> m_lockApplyQueued{false};
    // The lock window closed last, alive until its release runs: shown again rather than joined by
    // a second full-screen window. Main thread.
    std::weak_ptr<desktop::WindowController> m_closedLockViewWndController;
    QPointer<QWidget> m_closeQuestion; // a Qt window that deletes itself once answered
    std::function<bool()> m_moveEnabled;
    TitleView* m_titleView = nullptr;           // a Qt child of the view
    QWidget* m_noteToolArea = nullptr;          // a Qt child of the view
    QPointer<QAbstractButton> m_closeButton;    // a Qt descendant of the view
    QPointer<QAbstractButton> m_minimizeButton; // a Qt descendant of the view
    std::weak_ptr<NoteToolSettings> m_pNoteToolView;
    QImage m_captureBoardImageData; // main thread
};

} // namespace panel
