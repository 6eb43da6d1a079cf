#include "panel/PermissionWindow.h"

#include "panel/AppDelegate.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"
#include "startup/FirstLaunchChecker.h"

#include <QVBoxLayout>

namespace panel {
namespace {

constexpr int kMargin = 24;

std::string& launchStatusPath() {
    static std::string path = startup::FirstLaunchChecker::plistFilePath();
    return path;
}

} // namespace

void PermissionViewController::setLaunchStatusPathForTesting(std::string path) {
    launchStatusPath() = path.empty() ? startup::FirstLaunchChecker::plistFilePath() : std::move(path);
}

std::unique_ptr<QWidget> PermissionViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(view.get()); // Qt children: owned by the view
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_explanation =
        new QLabel(QString::fromStdString(platform::localizedString("ZQ_PERMISSION_X11_REQUIRED")));
    m_explanation->setWordWrap(true);
    layout->addWidget(m_explanation, 1);
    m_button = new QPushButton(QString::fromStdString(platform::localizedString("ZQ_MESSAGE_OK")));
    QObject::connect(m_button, &QPushButton::clicked, [this] { onScreenPermission(); });
    layout->addWidget(m_button, 0, Qt::AlignRight);
    return view;
}

startup::ScreenCapturePermission* PermissionViewController::permission() const {
    return AppDelegate::shared().getScreenCapturePermission();
}

void PermissionViewController::viewDidAppear() {
    startup::ScreenCapturePermission* check = permission();
    if (check && check->preflight()) {
        platform::logf("Permission Screen capture is here!");
        if (auto login = desktop::WindowRegistry::instantiate(desktop::storyboard::kLoginWindow))
            login->showWindow();
        if (auto* owner = windowController())
            owner->close();
    }
    m_bFirstAppExecution = startup::FirstLaunchChecker::isFirstLaunchAt(launchStatusPath());
    platform::logf(m_bFirstAppExecution ? "🚀 첫 실행입니다. 초기화 작업을 수행합니다."
                                        : "🔁 이미 실행된 앱입니다.");
}

void PermissionViewController::onScreenPermission() {
    startup::ScreenCapturePermission* check = permission();
    if (!check)
        return;
    if (m_bFirstAppExecution) {
        check->requestAccess();
        return;
    }
    platform::mainQueue::asyncAfter(kSettingsDelay, [check] {
        platform::logf("1초 후 실행된 코드!");
        check->openPrivacySettings();
    });
}

PermissionWindowController::PermissionWindowController()
    : desktop::WindowController(std::make_unique<desktop::Window>(desktop::Window::Style::Titled),
                                std::make_unique<PermissionViewController>()) {}

int PermissionWindowController::getClientWidth() {
    return platform::screens::clientWidth();
}

int PermissionWindowController::getClientHeight() {
    return platform::screens::clientHeight();
}

desktop::Frame PermissionWindowController::intendedFrame() {
    const int x = getClientWidth() / 2 - kHalfWidthOffset;
    const double y = (getClientHeight() - platform::screens::menuBarHeight()) * 0.5;
    return {static_cast<double>(x), y, static_cast<double>(kWidth), static_cast<double>(kHeight)};
}

void PermissionWindowController::windowDidLoad() {
    platform::logf("[ZQ]PermissionWndController created.");
    window()->setFrame(intendedFrame());
}

void registerPermissionWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kPermissionWindow,
                                             [] { return std::make_shared<PermissionWindowController>(); });
}

} // namespace panel
