#include "panel/LoginWindow.h"

#include "client/SettingsKeys.h"
#include "login/LoginInputRules.h"
#include "panel/AppDelegate.h"
#include "panel/CAlertWindow.h"
#include "panel/CGColorHex.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/Images.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPalette>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace panel {
namespace {

constexpr int kMargin = 32;
constexpr int kSpacing = 14;
constexpr QSize kButtonImageSize(150, 44);
constexpr const char* kKoreanPrefix = "ko";
constexpr const char* kEnglishPrefix = "en";
// Level "1" (caution) and a box that stays until OK.

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

LoginViewController::LoginViewController(platform::NotificationCenter& center)
    : m_pNotificationCenter(center) {}

LoginViewController::~LoginViewController() = default;

std::unique_ptr<QWidget> LoginViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, CGColorHex::getCGColorHex(kBackground));
    palette.setColor(QPalette::WindowText, Qt::white);
    view->setPalette(palette);

    // Qt children: owned by the view through its layouts.
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    auto* form = new QFormLayout;
    m_tfTeacherId = new QLineEdit;
    m_tfStudentNumber = new QLineEdit;
    m_tfStudentName = new QLineEdit;
    m_tfTeacherId->setObjectName("teacherId");
    m_tfStudentNumber->setObjectName("slot");
    m_tfStudentName->setObjectName("name");
    form->addRow(qs(platform::localizedString("login_label_teacher_id")), m_tfTeacherId);
    form->addRow(qs(platform::localizedString("login_label_slot")), m_tfStudentNumber);
    form->addRow(qs(platform::localizedString("login_label_name")), m_tfStudentName);
    layout->addLayout(form);

    m_txMessageBox = new QLabel;
    m_txMessageBox->setWordWrap(true);
    layout->addWidget(m_txMessageBox);
    m_progressbar = new QProgressBar;
    m_progressbar->setTextVisible(false);
    layout->addWidget(m_progressbar);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_btnConnect = new QPushButton;
    m_btnCancel = new QPushButton;
    m_btnConnect->setObjectName("connect");
    m_btnCancel->setObjectName("cancel");
    for (QPushButton* button : {m_btnConnect.data(), m_btnCancel.data()}) {
        button->setFlat(true);
        button->setIconSize(kButtonImageSize);
        button->setMinimumSize(kButtonImageSize);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    return view;
}

void LoginViewController::viewDidLoad() {
    initValue();
    const struct {
        QLineEdit* field;
        int tag;
    } fields[] = {{m_tfTeacherId, login::kTagTeacherId},
                  {m_tfStudentNumber, login::kTagSlot},
                  {m_tfStudentName, login::kTagName}};
    for (const auto& [field, tag] : fields) {
        QObject::connect(field, &QLineEdit::textChanged, [this, tag = tag] { controlTextDidChange(tag); });
        QObject::connect(field, &QLineEdit::returnPressed, [this] { onClickLogin(); });
    }
    QObject::connect(m_btnConnect, &QPushButton::clicked, [this] { onClickLogin(); });
    QObject::connect(m_btnCancel, &QPushButton::clicked, [this] { onClickCancel(); });

    // The Korean images are the window's own; English ones replace them for an English user.
    const std::string language = platform::firstPreferredLanguage();
    const bool english = startsWith(language, kEnglishPrefix) && !startsWith(language, kKoreanPrefix);
    m_connectImage = english ? kConnectImageEn : kConnectImageKo;
    m_btnConnect->setIcon(desktop::images::icon(m_connectImage));
    m_btnCancel->setIcon(desktop::images::icon(english ? kCancelImageEn : kCancelImageKo));
    m_btnConnect->setToolTip(qs(platform::localizedString("login_label_connect")));
    m_btnCancel->setToolTip(qs(platform::localizedString("login_label_cancel")));
}

void LoginViewController::initValue() {
    m_flow = login::LoginFlow::create(*this, m_pNotificationCenter);
    auto settings = platform::UserDefaults::suite();
    {
        // Filled from the settings as they are; the filter applies to what the student types.
        const QSignalBlocker b1(m_tfTeacherId), b2(m_tfStudentNumber), b3(m_tfStudentName);
        m_tfTeacherId->setText(qs(settings->stringValue(client::settings::kTeacherId)));
        m_tfStudentNumber->setText(qs(settings->stringValue(client::settings::kSlot)));
        m_tfStudentName->setText(qs(settings->stringValue(client::settings::kAlias)));
    }
    m_progressbar->setVisible(false);
    m_tfTeacherId->setFocus();
    m_flow->initValue();
}

void LoginViewController::viewDidAppear() {
    // The white text cursor of the dark fields.
    for (QLineEdit* field : {m_tfTeacherId.data(), m_tfStudentNumber.data(), m_tfStudentName.data()}) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Text, Qt::white);
        palette.setColor(QPalette::Base, CGColorHex::getCGColorHex(kBackground).lighter());
        field->setPalette(palette);
    }
    if (m_tfTeacherId)
        m_tfTeacherId->setFocus();
}

QLineEdit* LoginViewController::fieldWithTag(int tag) const {
    switch (tag) {
    case login::kTagTeacherId:
        return m_tfTeacherId;
    case login::kTagSlot:
        return m_tfStudentNumber;
    case login::kTagName:
        return m_tfStudentName;
    default:
        return nullptr;
    }
}

void LoginViewController::controlTextDidChange(int tag) {
    QLineEdit* field = fieldWithTag(tag);
    if (!field)
        return;
    const std::string text = field->text().toStdString();
    const std::string kept = login::filterFieldText(tag, text);
    if (kept == text)
        return;
    // One unit per change, as typed: the shortened text is not filtered again until the next change.
    const QSignalBlocker blocker(field);
    field->setText(qs(kept));
}

void LoginViewController::onClickLogin() {
    if (!m_flow || !m_tfTeacherId)
        return;
    m_flow->onClickLogin(m_tfTeacherId->text().toStdString(), m_tfStudentName->text().toStdString(),
                         m_tfStudentNumber->text().toStdString());
}

void LoginViewController::onClickCancel() {
    if (auto* owner = windowController())
        owner->close();
    platform::terminate(kExitStatus);
}

void LoginViewController::setTeacherIdText(const std::string& text) {
    if (!m_tfTeacherId)
        return;
    const QSignalBlocker blocker(m_tfTeacherId);
    m_tfTeacherId->setText(qs(text));
}

void LoginViewController::setStatusText(const std::string& text) {
    if (m_txMessageBox)
        m_txMessageBox->setText(qs(text));
}

void LoginViewController::setProgressEnabled(bool enabled) {
    if (!m_progressbar)
        return;
    // An empty range is Qt's indeterminate, animated indicator.
    m_progressbar->setRange(0, 0);
    m_progressbar->setVisible(enabled);
}

void LoginViewController::showMessagebox(const std::string& text) {
    postMessagebox({{events::kKeyMessage, text},
                    {events::kKeyCloseTime, MessageboxViewController::kNeverClose},
                    {events::kKeyMsgLv, events::kMsgLvCautionText}});
}

void LoginViewController::showAlert(const std::string& title, const std::string& content,
                                    std::function<void()> ok) {
    CAlertWindow::createAlertModalOne(title, content, std::move(ok));
}

void LoginViewController::openMainWindow() {
    // Closed from code: the application delegate's close handler, which ends the process, is not asked.
    if (auto* owner = windowController())
        owner->close();
    auto main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    if (!main) {
        platform::logf("[ZQ]No main window to open after login.");
        return;
    }
    AppDelegate::shared().setMainWindowController(main);
    main->showWindow();
}

LoginWindowController::LoginWindowController(platform::NotificationCenter& center)
    : desktop::WindowController(std::make_unique<desktop::Window>(desktop::Window::Style::Titled),
                                std::make_unique<LoginViewController>(center)) {}

desktop::Frame LoginWindowController::intendedFrame() {
    const int x = platform::screens::clientWidth() / 2;
    const double y = (platform::screens::clientHeight() - platform::screens::menuBarHeight()) * 0.5;
    return {static_cast<double>(x), y, static_cast<double>(kWidth), static_cast<double>(kHeight)};
}

void LoginWindowController::windowDidLoad() {
    AppDelegate::shared().setLoginWindowController(shared_from_this());
    window()->setFrame(intendedFrame());
    window()->setWindowTitle(QStringLiteral("Olvex Student"));
}

bool LoginWindowController::windowShouldClose() {
    platform::terminate(LoginViewController::kExitStatus);
    return false;
}

void registerLoginWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kLoginWindow,
                                             [] { return std::make_shared<LoginWindowController>(); });
}

} // namespace panel
