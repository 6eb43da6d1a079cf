// The chat window: a borderless dark window at the panel level with a title strip to drag it, a
// read-only log of both sides' lines (teacher lines under a time-stamped header), a multi-line
// input and the send and close buttons. Opened by identifier "messageWindow" by the main view
// controller, which hands it every teacher line; the student's lines go to the client object as
// "POST_MSG_RECEIVED_STUDENT_CHAT". Main thread.
#pragma once

#include "panel/TeacherChatViewing.h"
#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <ctime>
#include <functional>
#include <string>

namespace chat {

class MessageWindow : public desktop::Window {
public:
    MessageWindow();
};

// The title strip: pressing records the point, dragging keeps it under the pointer.
class MessageWindowTitleView : public QWidget {
public:
    explicit MessageWindowTitleView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPointF locationInWindow(const QMouseEvent* event) const; // bottom-left window coordinates
    float m_fRemainX = 0.0f;
    float m_fRemainY = 0.0f;
};

class MessageWindowViewController : public desktop::ViewController, public panel::TeacherChatViewing {
public:
    static constexpr int kFontSize = 14;
    static constexpr std::uint32_t kBackgroundColor = 0x120F0A;
    static constexpr std::uint32_t kChatLogColor = 0xC8BEF7;
    static constexpr std::uint32_t kChatIdColor = 0xEFE4B0;
    static constexpr std::uint32_t kChatContentColor = 0x04E2C6;
    static constexpr std::uint32_t kBarColor = 0x181E2B;
    // A log at least this tall (points) follows each teacher line after the first to its end.
    static constexpr int kScrollMinHeight = 248;
    // Paragraphs the log keeps, the oldest going first: the teacher can send lines without end, and
    // a few hundred exchanges are more than a student scrolls back through.
    static constexpr int kMaxLogBlocks = 1000;
    // Each teacher line takes at least two paragraphs (its header and its text) besides the empty
    // one the next line is written into, so the log never shows more lines than the hub keeps
    // waiting for it.
    static_assert(kMaxShownTeacherLines == (kMaxLogBlocks - 1) / 2);
    static constexpr int kInputTag = 3;
    static constexpr const char* kTooLongKey = "ZQ_VALIDATION_MAX_512";
    static constexpr const char* kEnglishTitle = "Message Window";
    static constexpr const char* kTitle = "메시지 창";

    explicit MessageWindowViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    void viewDidLoad() override;
    void viewDidAppear() override;

    // The student's line: refused with a box when its command would not fit, else logged, posted
    // to the client object and cleared from the input.
    void sendToTeacherMsg(const std::string& text);
    void onClickSend();
    void onClickClose();
    // What closing the chat tells the hub, whoever closes it for the student.
    void chatWillClose();
    // A teacher line handed over by the main view controller ("-1" is not shown).
    void callbackOnReceivedTeacherChat(const std::string& text) override;

    // The clock of the teacher headers (tests fix it).
    void setClock(std::function<std::tm()> clock) { m_clock = std::move(clock); }

    QTextEdit* logView() const { return m_textView; }
    QPlainTextEdit* inputField() const { return m_tfChat; }
    QPushButton* sendButton() const { return m_btnSend; }
    QPushButton* closeButton() const { return m_btnClose; }
    QLabel* titleLabel() const { return m_tfMessageWindow; }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    void insertText(const std::string& text, const QColor& color);
    void scrollToEnd();

    platform::NotificationCenter& m_pNotificationCenter;
    QPointer<MessageWindowTitleView> m_messageWindowTitleView;
    QPointer<QWidget> m_messageWindowSubView;
    QPointer<QTextEdit> m_textView; // the log, a scroll view of its own
    QPointer<QPlainTextEdit> m_tfChat;
    QFont m_font;
    QColor m_backgroundColor;
    QColor m_fontChatLogColor;
    QColor m_fontChatId;
    QColor m_fontChatContentColor;
    QPointer<QPushButton> m_btnSend;
    QPointer<QPushButton> m_btnClose;
    QPointer<QLabel> m_tfMessageWindow;
    bool m_bFirst = true;
    std::function<std::tm()> m_clock;
};

class MessageWindowController : public desktop::WindowController {
public:
    MessageWindowController();

protected:
    void windowDidLoad() override;
    // A window manager's close is the chat's own close button pressed.
    bool windowShouldClose() override;
};

// Makes the chat window known to the window registry under "messageWindow". Main thread, at start.
void registerChatWindows();

} // namespace chat
