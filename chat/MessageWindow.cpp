#include "chat/MessageWindow.h"

#include "chat/ChatText.h"
#include "chat/NSCustomScroller.h"
#include "client/ClientEvents.h"
#include "panel/AppDelegate.h"
#include "panel/CGColorHex.h"
#include "panel/MainViewController.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalTime.h"
#include "platform/LocalizedStrings.h"
#include "platform/Screens.h"
#include "platform/desktop/Images.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace chat {
namespace {

constexpr int kWindowWidth = 420;
constexpr int kWindowHeight = 480;
constexpr int kTitleHeight = 32;
constexpr int kSubViewHeight = 96;
constexpr int kMargin = 8;
constexpr QSize kButtonSize{80, 22};
constexpr QSize kCloseButtonSize{60, 22};
constexpr int kScrollerWidth = 14;
constexpr const char* kSendImage = "chat_btn_send_normal";
constexpr const char* kCloseImage = "chat_btn_close_normal";
constexpr const char* kSendImageEnglish = "chat_btn_send_normal_en";
constexpr const char* kCloseImageEnglish = "chat_btn_close_normal_en";
constexpr const char* kKoreanPrefix = "ko";
constexpr const char* kEnglishPrefix = "en";

void colourBackground(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Base, colour);
    widget->setPalette(pal);
}

QPushButton* imageButton(const char* image, QSize size) {
    auto* button = new QPushButton; // owned by the layout's widget
    button->setFlat(true);
    button->setFixedSize(size);
    button->setIcon(desktop::images::icon(image));
    button->setIconSize(size);
    return button;
}

// Return in the input sends the line (the key is then taken, so no stray line feed stays behind);
// Shift+Return starts a new line.
class ReturnSends : public QObject {
public:
    ReturnSends(QObject* parent, std::function<void()> send) : QObject(parent), m_send(std::move(send)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !(key->modifiers() & Qt::ShiftModifier)) {
                m_send();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_send;
};

} // namespace

MessageWindow::MessageWindow() : desktop::Window(Style::Borderless) {}

MessageWindowTitleView::MessageWindowTitleView(QWidget* parent) : QWidget(parent) {}

QPointF MessageWindowTitleView::locationInWindow(const QMouseEvent* event) const {
    const QWidget* top = window();
    const QPointF inWindow = mapTo(top, event->position());
    return {inWindow.x(), top->height() - inWindow.y()};
}

void MessageWindowTitleView::mousePressEvent(QMouseEvent* event) {
    const QPointF at = locationInWindow(event);
    m_fRemainX = static_cast<float>(at.x());
    m_fRemainY = static_cast<float>(at.y());
    event->accept();
}

void MessageWindowTitleView::mouseMoveEvent(QMouseEvent* event) {
    auto* agentWindow = dynamic_cast<desktop::Window*>(window());
    if (!agentWindow || !(event->buttons() & Qt::LeftButton))
        return;
    const desktop::Frame frame = agentWindow->frame();
    const QPointF at = locationInWindow(event);
    agentWindow->setFrameOrigin(frame.x + (static_cast<float>(at.x()) - m_fRemainX),
                                frame.y + (static_cast<float>(at.y()) - m_fRemainY));
    event->accept();
}

MessageWindowViewController::MessageWindowViewController(platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_clock(platform::localNow) {}

std::unique_ptr<QWidget> MessageWindowViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* column = new QVBoxLayout(view.get()); // Qt children: owned by the view
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_messageWindowTitleView = new MessageWindowTitleView;
    m_messageWindowTitleView->setFixedHeight(kTitleHeight);
    auto* titleRow = new QHBoxLayout(m_messageWindowTitleView);
    titleRow->setContentsMargins(kMargin, 0, kMargin, 0);
    m_tfMessageWindow = new QLabel(QString::fromUtf8(kTitle));
    m_tfMessageWindow->setStyleSheet("color: #FFFFFF;");
    m_btnClose = imageButton(kCloseImage, kCloseButtonSize);
    titleRow->addWidget(m_tfMessageWindow, 1);
    titleRow->addWidget(m_btnClose);
    column->addWidget(m_messageWindowTitleView);

    m_textView = new QTextEdit;
    m_textView->setReadOnly(true);
    m_textView->setFrameShape(QFrame::NoFrame);
    auto* scroller = new NSCustomScroller(Qt::Vertical);
    scroller->setFixedWidth(kScrollerWidth);
    m_textView->setVerticalScrollBar(scroller);
    column->addWidget(m_textView, 1);

    m_messageWindowSubView = new QWidget;
    m_messageWindowSubView->setFixedHeight(kSubViewHeight);
    auto* inputRow = new QHBoxLayout(m_messageWindowSubView);
    inputRow->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_tfChat = new QPlainTextEdit;
    m_tfChat->setStyleSheet("color: #FFFFFF; background: #2A3142;");
    m_btnSend = imageButton(kSendImage, kButtonSize);
    inputRow->addWidget(m_tfChat, 1);
    inputRow->addWidget(m_btnSend, 0, Qt::AlignBottom);
    column->addWidget(m_messageWindowSubView);

    QObject::connect(m_btnSend, &QPushButton::clicked, [this] { onClickSend(); });
    QObject::connect(m_btnClose, &QPushButton::clicked, [this] { onClickClose(); });
    return view;
}

void MessageWindowViewController::viewDidLoad() {
    colourBackground(m_messageWindowTitleView, CGColorHex::getCGColorHex(kBarColor));
    colourBackground(m_messageWindowSubView, CGColorHex::getCGColorHex(kBarColor));
    m_font = QFont(m_textView->font().family());
    m_font.setPixelSize(kFontSize); // points of the screen, not of the printer
    m_backgroundColor = CGColorHex::getNSColorHex(kBackgroundColor);
    m_fontChatLogColor = CGColorHex::getNSColorHex(kChatLogColor);
    m_fontChatId = CGColorHex::getNSColorHex(kChatIdColor);
    m_fontChatContentColor = CGColorHex::getNSColorHex(kChatContentColor);
    m_textView->setFont(m_font);
    m_textView->document()->setMaximumBlockCount(kMaxLogBlocks);
    colourBackground(m_textView->viewport(), m_backgroundColor);
    colourBackground(m_textView, m_backgroundColor);
    m_tfChat->setProperty("tag", kInputTag);
    m_tfChat->installEventFilter(new ReturnSends(m_tfChat, [this] { onClickSend(); }));
    m_bFirst = true;
    const std::string language = platform::firstPreferredLanguage();
    if (language.rfind(kKoreanPrefix, 0) != 0 && language.rfind(kEnglishPrefix, 0) == 0) {
        m_btnSend->setIcon(desktop::images::icon(kSendImageEnglish));
        m_btnClose->setIcon(desktop::images::icon(kCloseImageEnglish));
        m_tfMessageWindow->setText(kEnglishTitle);
    }
}

void MessageWindowViewController::viewDidAppear() {
    m_tfChat->setFocus();
}

void MessageWindowViewController::onClickSend() {
    sendToTeacherMsg(m_tfChat->toPlainText().toStdString());
}

void MessageWindowViewController::sendToTeacherMsg(const std::string& text) {
    const std::string wire = chat::wireText(text);
    if (!chat::withinLineLimit(text) || !chat::fitsChatRequest(wire)) {
        // The input keeps the text so the student can shorten it.
        panel::postMessagebox({{panel::events::kKeyMessage, platform::localizedString(kTooLongKey)},
                               {panel::events::kKeyCloseTime, panel::MessageboxViewController::kNeverClose},
                               {panel::events::kKeyMsgLv, panel::events::kMsgLvCautionText}});
        return;
    }
    if (text.empty())
        return;
    insertText(chat::kStudentHeader, m_fontChatId);
    insertText(text + "\n\n", m_fontChatContentColor);
    m_pNotificationCenter.post(client::events::kStudentChat, this,
                               platform::Dictionary{{client::events::kKeyChat, wire}});
    m_tfChat->clear();
}

void MessageWindowViewController::callbackOnReceivedTeacherChat(const std::string& text) {
    if (text != kNoText) {
        insertText(chat::teacherHeader(m_clock()), m_fontChatLogColor);
        insertText(text + "\n", m_fontChatContentColor);
    }
    // The first line after the window opens is never followed by a scroll.
    if (m_bFirst) {
        m_bFirst = false;
        return;
    }
    scrollToEnd();
}

void MessageWindowViewController::insertText(const std::string& text, const QColor& color) {
    QTextCursor cursor(m_textView->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(color);
    format.setFont(m_font);
    cursor.insertText(QString::fromStdString(text), format);
}

void MessageWindowViewController::scrollToEnd() {
    const int documentHeight = static_cast<int>(m_textView->document()->size().height());
    if (documentHeight < kScrollMinHeight)
        return;
    QScrollBar* bar = m_textView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void MessageWindowViewController::onClickClose() {
    chatWillClose();
    if (desktop::WindowController* owner = windowController())
        owner->close();
}

void MessageWindowViewController::chatWillClose() {
    if (auto hub = panel::AppDelegate::shared().getMainViewController())
        hub->setIsOpenChatView(false);
}

MessageWindowController::MessageWindowController()
    : desktop::WindowController(std::make_unique<MessageWindow>(),
                                std::make_unique<MessageWindowViewController>()) {}

void MessageWindowController::windowDidLoad() {
    window()->setLevel(desktop::level::kPanel);
    const double x = (platform::screens::clientWidth() - kWindowWidth) / 2.0;
    const double y = (platform::screens::clientHeight() - kWindowHeight) / 2.0;
    window()->setFrame({x, y, kWindowWidth, kWindowHeight});
}

bool MessageWindowController::windowShouldClose() {
    if (auto* content = dynamic_cast<MessageWindowViewController*>(contentViewController()))
        content->chatWillClose();
    return true;
}

void registerChatWindows() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kMessageWindow,
                                             [] { return std::make_shared<MessageWindowController>(); });
}

} // namespace chat
