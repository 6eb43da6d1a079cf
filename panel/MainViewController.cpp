#include "panel/MainViewController.h"

#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "panel/AppDelegate.h"
#include "panel/CGColorHex.h"
#include "panel/MainWindow.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "panel/RetinaDisplayIdentify.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueueObserver.h"
#include "platform/Screens.h"

#include <QDialog>
#include <QVBoxLayout>

namespace panel {
namespace {

// Settings reset at every login: nothing sent or received yet, received files go to the documents
// folder until the teacher chooses the desktop.
constexpr const char* kLoginResetKeys[] = {"macOS-data-sended", "macOS-dataFile-sended", "macOS-transferPath",
                                           "macOS-dataFile-received"};
constexpr const char* kResetValue = "0";
constexpr int kHiddenButton = 1;
constexpr int kTerminateOnClose = 1;

} // namespace

MainViewController::MainViewController(platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_observers(center) {}

MainViewController::~MainViewController() = default;

std::unique_ptr<QWidget> MainViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(view.get()); // Qt children: owned by the view
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_titleView = new TitleView;
    m_titleView->setFixedHeight(kTitleHeight);
    m_titleView->moveEnabled = [this] { return isMoveEnabled(); };
    layout->addWidget(m_titleView);
    m_noteToolArea = new QWidget; // the note-tool panel fills the rest
    layout->addWidget(m_noteToolArea, 1);
    return view;
}

std::shared_ptr<MainViewController> MainViewController::selfReference() {
    // Shares the ownership of the window controller that owns this view controller.
    desktop::WindowController* owner = windowController();
    if (!owner)
        return nullptr;
    return std::shared_ptr<MainViewController>(owner->shared_from_this(), this);
}

void MainViewController::viewDidLoad() {
    // The application delegate's reference keeps the controller for the rest of the process.
    AppDelegate::shared().setMainViewController(selfReference());
    m_bIsOpenedChatView.store(false);
    m_bIsScreenShareCaptured.store(false);
    m_bIsRetinaDisplay = RetinaDisplayIdentify::isRetinaDisplayOrHdpi();

    addScreenShareObservers();
    m_observers.add(events::kShareBoardRemoveAll, nullptr,
                    [this](const platform::Notification& note) { callbackShareBoardRemoveAll(note); });
    m_observers.add(client::events::kDisconnect, nullptr,
                    platform::onMainQueue(
                        [this](const platform::Notification& note) { return callbackDisconnect(note); }));
    m_observers.add(client::events::kScreenLock, nullptr,
                    platform::onMainQueue([this](const platform::Notification& note) {
                        return callbackOnReceivedScreenLock(note);
                    }));
    addTransferObservers();

    m_shared = platform::UserDefaults::suite();
    for (const char* key : kLoginResetKeys)
        m_shared->setString(key, kResetValue);
    m_shared->synchronize();

    QWidget* v = view();
    v->setAutoFillBackground(true);
    QPalette pal = v->palette();
    pal.setColor(QPalette::Window, CGColorHex::getCGColorHexByView(kPanelBackground));
    v->setPalette(pal);
    installNoteTool(*this, m_noteToolArea);
    v->resize(v->width(), kPanelHeight);

    m_pNotificationCenter.post(events::kLoginSuccess);
}

std::shared_ptr<client::StudentClient> MainViewController::getStudentClient() const {
    std::lock_guard<std::mutex> lock(m_clientLock);
    return m_pStudentClient;
}

void MainViewController::setStudentClient(std::shared_ptr<client::StudentClient> studentClient) {
    std::lock_guard<std::mutex> lock(m_clientLock);
    m_pStudentClient = std::move(studentClient);
}

bool MainViewController::isCurrentLinkSender(const void* sender) const {
    if (sender == nullptr)
        return false;
    if (sender == m_heartbeatSender.load())
        return true;
    const auto studentClient = getStudentClient();
    if (!studentClient)
        return false;
    return sender == studentClient.get() || studentClient->isLinkSender(sender);
}

platform::Block MainViewController::callbackDisconnect(const platform::Notification& note) {
    // A login-time link that ends (the relay lookup's, the slot check's) is no lost session.
    if (!isCurrentLinkSender(note.sender)) {
        platform::logf("[ZQ]Disconnect from a link of no current session ignored.");
        return {};
    }
    // The relay's "[MV00100]" can come again and again, and the heartbeat may count the same loss:
    // the session ends once, with one box.
    if (m_bLinkLost.exchange(true))
        return {};
    auto self = selfReference();
    if (!self)
        return {};
    return [self] {
        // Closed from code: the application delegate's close handler, which would end the process
        // at once without the message, is not asked.
        if (auto* owner = self->windowController(); owner && owner->isOpen())
            owner->close();
        self->showMessagebox(platform::localizedString("ZQ_ALERT_SERVER_DISCONNECTED"), kDisconnectCloseTime,
                             events::kMsgLvCaution, kHiddenButton, kTerminateOnClose);
    };
}

platform::Block MainViewController::callbackOnReceivedScreenLock(const platform::Notification& note) {
    const std::string* lock = note.entry(client::events::kKeyLock);
    if (!lock || (*lock != kLockOn && *lock != kLockOff))
        return {};
    auto self = selfReference();
    if (!self)
        return {};
    m_lockWanted.store(*lock == kLockOn);
    // A block already queued reads the state after this store: it takes this command too.
    if (m_lockApplyQueued.exchange(true))
        return {};
    return [self] {
        self->m_lockApplyQueued.store(false);
        self->applyScreenLock(self->m_lockWanted.load());
    };
}

void MainViewController::applyScreenLock(bool locked) {
    if (!locked) {
        if (!m_lockViewWndController)
            return;
        m_lockViewWndController->close();
        m_closedLockViewWndController = m_lockViewWndController;
        m_lockViewWndController.reset();
        return;
    }
    // A question at a managed window's place would stand above the lock, and the lock below it.
    dismissCloseQuestion();
    if (m_lockViewWndController && m_lockViewWndController->isOpen()) {
        // The teacher's lock again: whatever took it away, it comes back.
        m_lockViewWndController->window()->reassert();
        return;
    }
    m_lockViewWndController = m_closedLockViewWndController.lock();
    if (!m_lockViewWndController)
        m_lockViewWndController = desktop::WindowRegistry::instantiate(desktop::storyboard::kLockViewWindow);
    if (m_lockViewWndController)
        m_lockViewWndController->showWindow();
}

void MainViewController::dismissCloseQuestion() {
    auto* question = qobject_cast<QDialog*>(m_closeQuestion.data());
    if (!question || !question->isVisible())
        return;
    platform::logf("[ZQ]Close question dismissed: the screen is locked.");
    question->reject(); // answered without a button: the question's cancel
}

void MainViewController::closeRequestedByWindowManager() {
    if (isScreenLocked()) {
        platform::logf("[ZQ]Close request on the panel ignored: the screen is locked.");
        return;
    }
    if (isCloseQuestionOpen()) {
        platform::logf("[ZQ]Close request on the panel ignored: the student is being asked already.");
        return;
    }
    QAbstractButton* button = m_closeButton;
    if (!button || !isViewLoaded() || !button->isVisibleTo(view()) || !button->isEnabled()) {
        platform::logf("[ZQ]Close request on the panel ignored: closing is not offered.");
        return;
    }
    button->click();
}

bool MainViewController::minimizeRequestedByWindowManager() {
    QAbstractButton* button = m_minimizeButton;
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

void MainViewController::callbackShareBoardRemoveAll(const platform::Notification&) {
    // Always the direct link, whichever link the session runs on.
    if (auto studentClient = getStudentClient())
        studentClient->sendCommand(client::command::kShareBoardCleared, client::StudentClient::Link::Direct);
}

void MainViewController::showMainView() {
    view()->setVisible(true);
    // The capture board hides the whole panel window, so that a desktop without a compositor does
    // not capture it either.
    if (auto* owner = windowController(); owner && owner->isOpen() && !owner->window()->isVisible())
        owner->window()->orderFront();
}

void MainViewController::onClickMinimize() {
    if (QWidget* top = view()->window())
        top->showMinimized();
}

void MainViewController::showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden) {
    panel::showMessagebox(text, closeTime, msgLv, hidden);
}

void MainViewController::showMessagebox(const std::string& text, float closeTime, int msgLv, int hidden,
                                        int exit) {
    panel::showMessagebox(text, closeTime, msgLv, hidden, exit);
}

int MainViewController::getClientWidth() {
    return platform::screens::clientWidth();
}

int MainViewController::getClientHeight() {
    return platform::screens::clientHeight();
}

void MainViewController::setMoveEnabledQuery(std::function<bool()> query) {
    m_moveEnabled = std::move(query);
}

bool MainViewController::isMoveEnabled() const {
    return m_moveEnabled ? m_moveEnabled() : true;
}

} // namespace panel
