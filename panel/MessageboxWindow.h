// The message box: a small window at the message-box level with an icon, a text and an OK button,
// which can close itself after a time and can end the process when it closes. Opened through one
// contract: instantiate "messageboxWindow", then post "POST_MSG_RECEIVED_MESSAGE" with a dictionary
// of texts (postMessagebox does both). Every open box takes every posting (a later message takes
// over an earlier box). Main thread; postMessagebox from any thread.
#pragma once

#include "panel/PanelEvents.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <memory>
#include <string>

namespace panel {

class MessageboxWindowController : public desktop::WindowController {
public:
    MessageboxWindowController();

protected:
    void windowDidLoad() override;
    void windowDidClose() override;
};

class MessageboxViewController : public desktop::ViewController {
public:
    // "closeTime" that keeps the box until OK is pressed.
    static constexpr const char* kNeverClose = "0.000000";
    static constexpr const char* kFlagOn = "1";
    static constexpr const char* kInfoIcon = "messagebox_info";
    static constexpr const char* kCautionIcon = "messagebox_caution";
    static constexpr std::uint32_t kBackground = 0xF7F7F7;
    static constexpr double kNanosecondsPerSecond = 1e9;

    explicit MessageboxViewController(platform::NotificationCenter& center);
    ~MessageboxViewController() override;

    void viewDidLoad() override;
    // The observer, on the posting thread: a message posted on the main thread is taken at once,
    // one posted elsewhere comes back as the block for the main queue.
    platform::Block callbackOnMessagePosted(const platform::Notification& note);
    // Takes the message into the box (main thread).
    void callbackOnMessage(const platform::Notification& note);
    void setMessageboxLevel(const std::string& level);
    void setButtonHidden(const std::string& hidden);
    void setAutoCloseWindow(const std::string& closeTime);
    // Once "1" has reached a box, a later posting never clears it: a box that must end the process
    // (a lost link) keeps doing so whatever message takes it over.
    void setTerminate(const std::string& terminate);
    void onClickOK();
    void stopObserving();

    // The time-out for a "closeTime" text, in seconds: < 0 keeps the box open (exactly
    // "0.000000"), 0 and any unreadable or negative text close at once.
    static double autoCloseDelay(const std::string& closeTime);

    bool getTerminate() const { return m_bTerminate; }
    QLabel* messageField() const { return m_tfMessage; }
    QLabel* imageView() const { return m_imageView; }
    QPushButton* okButton() const { return m_btnOK; }
    const std::string& iconName() const { return m_iconName; }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    QPointer<QLabel> m_imageView;
    QPointer<QLabel> m_tfMessage;
    QPointer<QPushButton> m_btnOK;
    bool m_bTerminate = false;
    std::string m_iconName;
    platform::ObserverSet m_observers;
};

// Makes the window factory known under "messageboxWindow".
void registerMessageboxWindow();

// The contract's two steps, queued on the main queue (any thread may call).
void postMessagebox(platform::Dictionary message);
// A new box that takes this message alone, at once (main thread): the boxes already open keep
// theirs. Later postings of the contract still reach it. Null when no box could be made.
std::shared_ptr<desktop::WindowController> openMessagebox(const platform::Dictionary& message);
// The main view controller's forms: closeTime in seconds, level 0 information / other caution,
// hidden 1 hides OK, exit 1 ends the process when the box closes (without exit: no "terminate").
void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden);
void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden, int exit);

} // namespace panel
