#include "panel/MessageboxWindow.h"

#include "panel/CGColorHex.h"
#include "panel/FloatText.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueueObserver.h"
#include "platform/ProcessInfo.h"
#include "platform/Screens.h"
#include "platform/desktop/Images.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <cmath>
#include <cstdint>
#include <limits>

namespace panel {
namespace {

constexpr int kBoxWidth = 360;
constexpr int kBoxHeight = 140;
constexpr int kIconSize = 48;
constexpr int kMargin = 16;
constexpr int kExitStatus = 0;

} // namespace

MessageboxWindowController::MessageboxWindowController()
    : desktop::WindowController(
          std::make_unique<desktop::Window>(desktop::Window::Style::Titled),
          std::make_unique<MessageboxViewController>(platform::NotificationCenter::defaultCenter())) {}

void MessageboxWindowController::windowDidLoad() {
    window()->setLevel(desktop::level::kMessageBox);
    // The box never moves itself; it opens in the middle of the primary screen.
    const double x = (platform::screens::clientWidth() - kBoxWidth) / 2;
    const double y = (platform::screens::clientHeight() - kBoxHeight) / 2;
    window()->setFrame({x, y, kBoxWidth, kBoxHeight});
}

void MessageboxWindowController::windowDidClose() {
    // A closed box takes no more messages; a time-out it already scheduled still runs.
    static_cast<MessageboxViewController*>(contentViewController())->stopObserving();
}

MessageboxViewController::MessageboxViewController(platform::NotificationCenter& center)
    : m_observers(center) {}

MessageboxViewController::~MessageboxViewController() = default;

std::unique_ptr<QWidget> MessageboxViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* row = new QHBoxLayout; // Qt children: owned by the view through its layout
    auto* column = new QVBoxLayout(view.get());
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_imageView = new QLabel;
    m_imageView->setFixedSize(kIconSize, kIconSize);
    m_tfMessage = new QLabel;
    m_tfMessage->setWordWrap(true);
    m_tfMessage->setTextFormat(Qt::PlainText); // a teacher's text is shown as typed, never as markup
    m_tfMessage->setStyleSheet("color: #1B1B1B;");
    row->addWidget(m_imageView, 0, Qt::AlignTop);
    row->addWidget(m_tfMessage, 1);
    column->addLayout(row, 1);
    m_btnOK = new QPushButton;
    column->addWidget(m_btnOK, 0, Qt::AlignRight);
    return view;
}

void MessageboxViewController::viewDidLoad() {
    QWidget* v = view();
    v->setAutoFillBackground(true);
    QPalette pal = v->palette();
    pal.setColor(QPalette::Window, CGColorHex::getCGColorHex(kBackground));
    v->setPalette(pal);
    m_observers.add(events::kMessage, nullptr,
                    platform::onMainQueue([this](const platform::Notification& note) {
                        return callbackOnMessagePosted(note);
                    }));
    m_btnOK->setText(QString::fromStdString(platform::localizedString("ZQ_MESSAGE_OK")));
    QObject::connect(m_btnOK, &QPushButton::clicked, [this] { onClickOK(); });
    m_bTerminate = false;
}

void MessageboxViewController::stopObserving() {
    m_observers.removeAll();
}

platform::Block MessageboxViewController::callbackOnMessagePosted(const platform::Notification& note) {
    const platform::Dictionary* message = note.dictionary();
    // The contract posts on the main thread, where the box takes the message during the post; a
    // stray poster elsewhere is moved there.
    if (!message || platform::mainQueue::isMainThread()) {
        callbackOnMessage(note);
        return {};
    }
    auto owner = windowController() ? windowController()->shared_from_this() : nullptr;
    return [owner, copy = *message] {
        if (auto* self =
                owner ? static_cast<MessageboxViewController*>(owner->contentViewController()) : nullptr)
            self->callbackOnMessage({events::kMessage, nullptr, copy});
    };
}

void MessageboxViewController::callbackOnMessage(const platform::Notification& note) {
    const platform::Dictionary* message = note.dictionary();
    if (!message) {
        platform::logf("[ZQ]Message box notification without a dictionary.");
        return;
    }
    m_tfMessage->setText(QString::fromStdString(platform::dictionaryValue(message, events::kKeyMessage)));
    setMessageboxLevel(platform::dictionaryValue(message, events::kKeyMsgLv));
    setButtonHidden(platform::dictionaryValue(message, events::kKeyHidden));
    setAutoCloseWindow(platform::dictionaryValue(message, events::kKeyCloseTime));
    setTerminate(platform::dictionaryValue(message, events::kKeyTerminate));
}

void MessageboxViewController::setMessageboxLevel(const std::string& level) {
    m_iconName = level == events::kMsgLvInformationText ? kInfoIcon : kCautionIcon;
    m_imageView->setPixmap(
        desktop::images::named(m_iconName, QSize(kIconSize, kIconSize), view()->devicePixelRatioF()));
}

void MessageboxViewController::setButtonHidden(const std::string& hidden) {
    m_btnOK->setVisible(hidden != kFlagOn);
}

double MessageboxViewController::autoCloseDelay(const std::string& closeTime) {
    if (closeTime == kNeverClose)
        return -1.0;
    // The product is taken in single precision and truncated to whole nanoseconds.
    const float nanoseconds = floatValue(closeTime) * static_cast<float>(kNanosecondsPerSecond);
    if (std::isnan(nanoseconds) || nanoseconds <= 0.0f)
        return 0.0;
    if (nanoseconds >= static_cast<float>(std::numeric_limits<std::int64_t>::max()))
        return -1.0; // beyond any time-out that could ever run out: the box waits for OK
    return static_cast<double>(static_cast<std::int64_t>(nanoseconds)) / kNanosecondsPerSecond;
}

void MessageboxViewController::setAutoCloseWindow(const std::string& closeTime) {
    const double delay = autoCloseDelay(closeTime);
    if (delay < 0.0)
        return;
    // The blocks hold the box's controller, so the time-out runs even when the window was closed
    // first, and a terminating box still ends the process then.
    auto owner = windowController() ? windowController()->shared_from_this() : nullptr;
    if (!owner)
        return;
    platform::mainQueue::async([owner, delay] {
        platform::mainQueue::asyncAfter(delay, [owner] {
            static_cast<MessageboxViewController*>(owner->contentViewController())->onClickOK();
        });
    });
}

void MessageboxViewController::setTerminate(const std::string& terminate) {
    m_bTerminate = m_bTerminate || terminate == kFlagOn;
}

void MessageboxViewController::onClickOK() {
    if (m_bTerminate) {
        platform::terminate(kExitStatus);
        return;
    }
    if (auto* controller = windowController(); controller && controller->isOpen())
        controller->close();
}

void registerMessageboxWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kMessageboxWindow,
                                             [] { return std::make_shared<MessageboxWindowController>(); });
}

void postMessagebox(platform::Dictionary message) {
    platform::mainQueue::async([message = std::move(message)] {
        auto box = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageboxWindow);
        if (box)
            box->showWindow();
        platform::NotificationCenter::defaultCenter().post(events::kMessage, nullptr, message);
    });
}

std::shared_ptr<desktop::WindowController> openMessagebox(const platform::Dictionary& message) {
    auto box = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageboxWindow);
    if (!box)
        return nullptr;
    box->showWindow();
    static_cast<MessageboxViewController*>(box->contentViewController())
        ->callbackOnMessage({events::kMessage, nullptr, message});
    return box;
}

void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden) {
    postMessagebox({{events::kKeyMessage, text},
                    {events::kKeyCloseTime, formatFloat(closeTime)},
                    {events::kKeyMsgLv, std::to_string(msgLv)},
                    {events::kKeyHidden, std::to_string(hidden)}});
}

void showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden, int exit) {
    postMessagebox({{events::kKeyMessage, text},
                    {events::kKeyCloseTime, formatFloat(closeTime)},
                    {events::kKeyMsgLv, std::to_string(msgLv)},
                    {events::kKeyHidden, std::to_string(hidden)},
                    {events::kKeyTerminate, std::to_string(exit)}});
}

} // namespace panel
