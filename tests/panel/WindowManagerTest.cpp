// The agent's windows under a real window manager: a private Xvfb with openbox, and for the lock's
// hold on the keyboard and the panel's close also with xfwm4 (all started and stopped here), the
// panel's windows on the xcb platform, and a second X client that plays the student: it clicks and
// types through XTest, sends the close, minimise and activate requests a taskbar sends, and reads
// the stacking order from the server; the chat's close by a manager under both. Skips only when
// Xvfb or a manager is not installed, or when xfwm4 cannot run.
#include "chat/MessageWindow.h"
#include "client/ClientEvents.h"
#include "notetool/NoteToolView.h"
#include "notetool/NoteToolWindows.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/PanelEvents.h"
#include "panel/PanelWindows.h"
#include "panel/SmallWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessInfo.h"
#include "platform/Screens.h"
#include "platform/desktop/Alert.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/WindowController.h"
#include "support/WindowManagerSession.h"
#include "transfer/PanelTransfers.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QRect>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using testsupport::Manager;

using Student = testsupport::DesktopStudent;
constexpr std::uint8_t kAltKeycode = Student::kAltKeycode;
constexpr std::uint8_t kF4Keycode = Student::kF4Keycode;
constexpr std::uint8_t kTabKeycode = Student::kTabKeycode;
constexpr std::uint8_t kAKeycode = Student::kAKeycode;
// The lock says so when it has waited this long for a held keyboard (a second), and some more.
constexpr int kGrabPatienceMs = 3000;
// A lock that another program took away is back within this.
constexpr int kRestoreMs = 1000;
// The test's screen (WindowManagerFixture::kGeometry).
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// Counts the mouse presses that reach a window or any widget in it.
class PressCounter : public QObject {
public:
    explicit PressCounter(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    int presses = 0;
    bool eventFilter(QObject* target, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(target);
        if (event->type() == QEvent::MouseButtonPress && widget && widget->window() == m_window &&
            event->spontaneous())
            ++presses;
        return false;
    }

private:
    QWidget* m_window;
};

class WindowManagerTest : public testsupport::WindowManagerFixture<> {
protected:
    // The manager the test runs under.
    virtual Manager manager() const { return Manager::Openbox; }

    void SetUp() override {
        startSession(manager(), "olvex-wm-test", OLVEX_TEST_CONFIG_HOME);
        if (IsSkipped() || HasFatalFailure())
            return;
        panel::registerPanelWindows();
        transfer::registerTransferWindows();
        chat::registerChatWindows();
    }
    void TearDown() override {
        if (!m_app)
            return;
        desktop::WindowRegistry::closeAll();
        panel::AppDelegate::shared().resetForTesting();
        m_panel.reset();
        m_lock.reset();
        m_box.reset();
        stopSession();
    }

    std::shared_ptr<desktop::WindowController> open(const char* identifier) {
        auto controller = desktop::WindowRegistry::instantiate(identifier);
        controller->showWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller->window())) << identifier;
        return controller;
    }
    // The panel, the lock, a message box and the overlay, as a class in progress shows them.
    void openClassroom(bool locked = true) {
        m_panel = open(desktop::storyboard::kMainWindow);
        if (locked)
            m_lock = open(desktop::storyboard::kLockViewWindow);
        m_box = open(desktop::storyboard::kMessageboxWindow);
        platform::NotificationCenter::defaultCenter().post(
            panel::events::kMessage, nullptr,
            platform::Dictionary{
                {"message", "hello"}, {"closeTime", "0.000000"}, {"msgLv", "0"}, {"hidden", "1"}});
        panel::AppDelegate::shared().applicationDidFinishLaunching();
        m_overlay = panel::AppDelegate::shared().getOverlayWindow();
        ASSERT_NE(m_overlay, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_overlay));
    }
    std::vector<QWidget*> levelled() const {
        if (!m_lock)
            return {m_panel->window(), m_box->window(), m_overlay};
        return {m_panel->window(), m_lock->window(), m_box->window(), m_overlay};
    }

    // The server stacks the given windows bottom to top, and nothing of the student's lies above
    // the lock.
    bool inLevelOrder(const std::vector<QWidget*>& bottomToTop) {
        std::vector<xcb_window_t> ids;
        for (QWidget* w : bottomToTop)
            ids.push_back(static_cast<xcb_window_t>(w->winId()));
        if (m_student->ownWindow() != XCB_WINDOW_NONE)
            ids.push_back(m_student->ownWindow());
        const std::vector<int> at = m_student->stackPositions(ids);
        for (std::size_t i = 0; i + 1 < bottomToTop.size(); ++i) {
            if (at[i] < 0 || at[i] >= at[i + 1])
                return false;
        }
        // The student's own window may lie only below the lowest agent window.
        if (m_student->ownWindow() != XCB_WINDOW_NONE && at.back() > at.front())
            return false;
        return true;
    }
    std::string describe() {
        std::vector<xcb_window_t> ids;
        for (QWidget* w : levelled())
            ids.push_back(static_cast<xcb_window_t>(w->winId()));
        ids.push_back(m_student->ownWindow());
        std::string text = "stack positions (panel, [lock,] box, overlay, student):";
        for (int at : m_student->stackPositions(ids))
            text += " " + std::to_string(at);
        return text;
    }
    // The order comes back after the manager's move, and stays.
    void expectLevelOrderHolds(const char* after, const std::vector<QWidget*>& order = {}) {
        auto holds = [&] { return inLevelOrder(order.empty() ? levelled() : order); };
        EXPECT_TRUE(QTest::qWaitFor(holds, kSettleMs))
            << "levels out of order after " << after << "; " << describe();
        QTest::qWait(kStableMs);
        EXPECT_TRUE(holds()) << "levels lost their order after " << after << "; " << describe();
    }
    void clickAndWait(QWidget* window, QPoint local, PressCounter& counter) {
        const int before = counter.presses;
        m_student->click(window->mapToGlobal(local));
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.presses > before; }, kSettleMs))
            << "no press reached " << window->objectName().toStdString() << " at "
            << window->mapToGlobal(local).x() << "," << window->mapToGlobal(local).y() << "; " << describe();
    }

    std::shared_ptr<desktop::WindowController> m_panel, m_lock, m_box;
    QWidget* m_overlay = nullptr;
};

TEST_F(WindowManagerTest, LockScreenRefusesCloseMinimiseAndMoveRequests) {
    openClassroom();
    desktop::Window* lock = m_lock->window();
    const QRect placed = lock->geometry();
    const xcb_window_t id = static_cast<xcb_window_t>(lock->winId());
    m_student->askToCloseAndMinimise(id);
    // Alt+F4 acts on the window that has the focus: give the lock a click first.
    PressCounter presses(lock);
    clickAndWait(lock, QPoint(20, 20), presses);
    m_student->keyChord({kAltKeycode, kF4Keycode});
    QTest::qWait(kStableMs);
    EXPECT_TRUE(m_lock->isOpen());
    EXPECT_TRUE(lock->isVisible());
    EXPECT_TRUE(m_student->viewable(id)) << "the lock was minimised or unmapped";
    EXPECT_EQ(lock->geometry(), placed);
    // The teacher's "false" still closes it.
    m_lock->close();
    EXPECT_FALSE(m_lock->isOpen());
}

TEST_F(WindowManagerTest, LevelsHoldWhateverTheStudentClicks) {
    openClassroom(/*locked=*/false);
    expectLevelOrderHolds("opening");
    PressCounter panelPresses(m_panel->window()), boxPresses(m_box->window());
    // Points of each window that no higher window covers and that hold no button.
    const QPoint panelTitle(40, 6), boxCorner(10, 10), lockPoint(300, 200);
    clickAndWait(m_panel->window(), panelTitle, panelPresses);
    expectLevelOrderHolds("a click on the panel");
    clickAndWait(m_box->window(), boxCorner, boxPresses);
    expectLevelOrderHolds("a click on the message box");

    // The teacher locks the screen: it goes over the panel and under the message box.
    m_lock = open(desktop::storyboard::kLockViewWindow);
    expectLevelOrderHolds("the lock screen opening");
    PressCounter lockPresses(m_lock->window());
    clickAndWait(m_lock->window(), lockPoint, lockPresses);
    expectLevelOrderHolds("a click on the lock screen");
    clickAndWait(m_box->window(), boxCorner, boxPresses);
    expectLevelOrderHolds("a click on the message box over the lock screen");
    m_student->openOwnWindowOnTop();
    expectLevelOrderHolds("the student's own window asked to stay on top");
}

TEST_F(WindowManagerTest, OverlayNeverTakesAClick) {
    openClassroom();
    PressCounter overlayPresses(m_overlay), lockPresses(m_lock->window());
    const QPoint middle(m_overlay->width() / 2, m_overlay->height() / 2);
    m_student->click(m_overlay->mapToGlobal(middle));
    EXPECT_TRUE(QTest::qWaitFor([&] { return lockPresses.presses == 1; }, kSettleMs))
        << "the click did not reach the lock screen below the overlay";
    EXPECT_EQ(overlayPresses.presses, 0);
    expectLevelOrderHolds("a click on the overlay");
}

TEST_F(WindowManagerTest, AlertsStandWithTheirWindows) {
    openClassroom(/*locked=*/false);
    const QPoint panelTitle(40, 6);
    // The alerts keep input from the windows below them, so a click there reaches only the manager.
    auto clickBlocked = [this](QWidget* window, QPoint local) {
        m_student->click(window->mapToGlobal(local));
    };

    // A sheet stays right above its window when the student clicks that window.
    QMessageBox* sheet = nullptr;
    desktop::beginSheetAlert({"sheet", "text", {"CANCEL", "OK"}}, m_panel->window(), [](int) {});
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            sheet = box;
    }
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    const std::vector<QWidget*> withSheet{m_panel->window(), sheet, m_box->window(), m_overlay};
    expectLevelOrderHolds("the sheet opening", withSheet);
    clickBlocked(m_panel->window(), panelTitle);
    expectLevelOrderHolds("a click on the sheet's window", withSheet);
    sheet->done(0);

    // A modal alert stands above the panel, below the message box, whatever is clicked.
    bool checked = false;
    QTimer::singleShot(0, [&, clickBlocked] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(modal));
        const std::vector<QWidget*> withModal{m_panel->window(), modal, m_box->window(), m_overlay};
        expectLevelOrderHolds("the modal alert opening", withModal);
        clickBlocked(m_box->window(), QPoint(10, 10));
        expectLevelOrderHolds("a click on the message box", withModal);
        checked = true;
        static_cast<QMessageBox*>(modal)->done(0);
    });
    desktop::runModalAlert({"modal", "text", {"OK"}});
    EXPECT_TRUE(checked);
}

TEST_F(WindowManagerTest, TitledWindowsShowTheirTitleBarOnTheScreen) {
    // The login window's placement reaches past the top of an 800-pixel-high screen.
    auto login = open(desktop::storyboard::kLoginWindow);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return login->window()->frameGeometry().top() >= screen.top(); }, kSettleMs))
        << "frame top " << login->window()->frameGeometry().top() << ", client top "
        << login->window()->geometry().top();
    EXPECT_LE(login->window()->frameGeometry().bottom(), screen.bottom());
}

// The lock and the panel's close under openbox and xfwm4: the panel with its note-tool panel, the
// application's delegate in charge of it, and the student at the keyboard.
class LockAndCloseTest : public WindowManagerTest, public ::testing::WithParamInterface<Manager> {
protected:
    Manager manager() const override { return GetParam(); }
    void SetUp() override {
        WindowManagerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        platform::setTerminateHook([this](int status) { m_exits.push_back(status); });
        platform::setLogSink([this](const std::string& line) { m_logged.push_back(line); });
        notetool::registerNoteToolWindows();
        panel::AppDelegate::shared().applicationDidFinishLaunching();
        m_panel = open(desktop::storyboard::kMainWindow);
        panel::AppDelegate::shared().setMainWindowController(m_panel);
        m_hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(m_hub);
        m_noteTool = notetool::NoteToolView::in(m_panel->window());
        ASSERT_NE(m_noteTool, nullptr);
    }
    void TearDown() override {
        m_hub.reset();
        WindowManagerTest::TearDown();
        panel::MainViewController::setNoteToolInstaller({});
        panel::MainViewController::setScreenStillSource({});
        platform::setTerminateHook({});
        platform::setLogSink({});
    }

    static void post(const char* name, platform::Dictionary d = {}) {
        platform::NotificationCenter::defaultCenter().post(name, nullptr, std::move(d));
    }
    desktop::WindowController* lockWindow() const {
        auto lock = m_hub->lockViewWindowController();
        return lock && lock->isOpen() ? lock.get() : nullptr;
    }
    // The teacher's lock command, as the client posts it.
    void setLocked(bool locked) {
        post(client::events::kScreenLock, {{client::events::kKeyLock, locked ? "true" : "false"}});
        ASSERT_TRUE(QTest::qWaitFor([&] { return (lockWindow() != nullptr) == locked; }, kSettleMs));
        if (locked) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(lockWindow()->window()));
        }
    }
    // The teacher's "[MV00052]", as the client posts it.
    void setCloseDisabled(bool disabled) {
        post(disabled ? client::events::kDisabledX : client::events::kEnabledX);
        QPushButton* close = m_noteTool->outlet("m_btnClose");
        ASSERT_TRUE(QTest::qWaitFor([&] { return close->isVisibleTo(m_noteTool) == !disabled; }, kSettleMs));
    }
    // The close questions on the screen.
    static std::vector<QMessageBox*> questions() {
        std::vector<QMessageBox*> shown;
        for (auto* box : panel::AppDelegate::shared().getCenterHidedWindow()->findChildren<QMessageBox*>()) {
            if (box->isVisible())
                shown.push_back(box);
        }
        return shown;
    }
    static QMessageBox* question() {
        const auto shown = questions();
        return shown.empty() ? nullptr : shown.front();
    }
    bool logged(const std::string& part) const {
        return std::any_of(m_logged.begin(), m_logged.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
    xcb_window_t panelId() const { return static_cast<xcb_window_t>(m_panel->window()->winId()); }
    xcb_window_t lockId() const { return static_cast<xcb_window_t>(lockWindow()->window()->winId()); }
    std::size_t restorationsLogged() const {
        return static_cast<std::size_t>(
            std::count_if(m_logged.begin(), m_logged.end(), [](const std::string& line) {
                return line.find("[ZQ]Lock window restored") != std::string::npos;
            }));
    }
    // The lock stands as the teacher put it: mapped over the whole screen, holding the keyboard and
    // the pointer.
    bool lockStands() {
        return lockWindow() && m_student->viewable(lockId()) &&
               m_student->geometry(lockId()) == QRect(QPoint(0, 0), QSize(kScreenWidth, kScreenHeight)) &&
               m_student->keyboardHeldElsewhere() && m_student->pointerHeldElsewhere();
    }

    std::string viewableAboveText() {
        std::string text = "viewable above the lock:";
        for (xcb_window_t w : m_student->viewableAbove(lockId())) {
            const QRect at = m_student->geometry(w);
            text += " " + std::to_string(w) + "@" + std::to_string(at.x()) + "," + std::to_string(at.y()) +
                    " " + std::to_string(at.width()) + "x" + std::to_string(at.height());
        }
        return text;
    }

    std::shared_ptr<panel::MainViewController> m_hub;
    notetool::NoteToolView* m_noteTool = nullptr;
    std::vector<int> m_exits;
    std::vector<std::string> m_logged;
};

TEST_P(LockAndCloseTest, TheLockKeepsEveryKeyFromTheManagerAndOtherProgramsUntilItEnds) {
    const xcb_window_t typing = m_student->openTypingWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_student->viewable(typing); }, kSettleMs));
    // The focus left on the panel, as after a click on it.
    m_student->focus(panelId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_panel->window()->isActiveWindow(); }, kSettleMs));
    setLocked(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_student->keyboardHeldElsewhere(); }, kSettleMs))
        << "the lock did not take the keyboard";

    m_student->keyChord({kAltKeycode, kF4Keycode});
    QTest::qWait(kStableMs);
    m_student->keyChord({kAltKeycode, kTabKeycode});
    QTest::qWait(kStableMs);
    EXPECT_TRUE(m_exits.empty()) << "the agent ended";
    EXPECT_TRUE(m_panel->isOpen());
    EXPECT_TRUE(m_student->viewable(panelId())) << "the panel was closed or minimised under the lock";
    ASSERT_NE(lockWindow(), nullptr);
    EXPECT_TRUE(m_student->viewable(static_cast<xcb_window_t>(lockWindow()->window()->winId())));
    expectLevelOrderHolds("Alt+F4 and Alt+Tab under the lock", {m_panel->window(), lockWindow()->window()});

    // Another program with the focus gets no key either while the lock stands.
    m_student->focus(typing);
    m_student->keyChord({kAKeycode});
    QTest::qWait(kStableMs);
    EXPECT_EQ(m_student->keysTyped(), 0) << "a key reached another program under the lock";

    // The unlock gives the keyboard back at once.
    setLocked(false);
    m_student->focus(typing);
    m_student->keyChord({kAKeycode});
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_student->keysTyped() > 0; }, kSettleMs))
        << "the keyboard did not come back after the unlock";
    EXPECT_TRUE(m_exits.empty());
}

TEST_P(LockAndCloseTest, TheLockStaysUpAndWaitsForAKeyboardAnotherProgramHolds) {
    ASSERT_TRUE(m_student->holdKeyboard());
    setLocked(true);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return logged("[ZQ]Keyboard and pointer not taken"); }, kGrabPatienceMs))
        << "nothing logged while the keyboard was held elsewhere";
    ASSERT_NE(lockWindow(), nullptr);
    EXPECT_TRUE(m_student->viewable(static_cast<xcb_window_t>(lockWindow()->window()->winId())));
    m_student->releaseKeyboard();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_student->keyboardHeldElsewhere(); }, kGrabPatienceMs))
        << "the lock did not take the keyboard once it was free";
}

TEST_P(LockAndCloseTest, CloseRequestsOnThePanelTakeTheRoadOfItsCloseButton) {
    struct State {
        const char* name;
        bool closeDisabled;
        bool locked;
        bool asks;
    };
    const State states[] = {
        {"closing disabled by the teacher", true, false, false},
        {"the lock up", false, true, false},
        {"closing offered", false, false, true},
    };
    struct Request {
        const char* name;
        void (Student::*send)(xcb_window_t);
    };
    const Request requests[] = {
        {"WM_DELETE_WINDOW", &Student::sendDeleteWindow},
        {"_NET_CLOSE_WINDOW", &Student::askManagerToClose},
    };
    for (const State& state : states) {
        setCloseDisabled(state.closeDisabled);
        setLocked(state.locked);
        for (const Request& request : requests) {
            SCOPED_TRACE(std::string(request.name) + " with " + state.name);
            (m_student.get()->*request.send)(panelId());
            if (state.asks) {
                ASSERT_TRUE(QTest::qWaitFor([] { return question() != nullptr; }, kSettleMs))
                    << "no close question";
                question()->buttons().at(0)->click(); // cancel
                ASSERT_TRUE(QTest::qWaitFor([] { return question() == nullptr; }, kSettleMs));
            } else {
                QTest::qWait(kStableMs);
                EXPECT_EQ(question(), nullptr);
            }
            EXPECT_TRUE(m_exits.empty());
            EXPECT_TRUE(m_panel->isOpen());
            EXPECT_TRUE(m_student->viewable(panelId()));
        }
    }
    // The question's OK is the ordered end.
    m_student->askManagerToClose(panelId());
    ASSERT_TRUE(QTest::qWaitFor([] { return question() != nullptr; }, kSettleMs));
    question()->buttons().at(1)->click();
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_P(LockAndCloseTest, TheLockComesBackWhenAnotherProgramTakesItAway) {
    struct Taking {
        const char* name;
        std::function<void(Student&, xcb_window_t)> take;
        // The teacher's "[MV00050]true" once more, right after.
        bool lockAgain;
    };
    const Taking takings[] = {
        {"unmapped", [](Student& s, xcb_window_t w) { s.unmap(w); }, false},
        {"moved", [](Student& s, xcb_window_t w) { s.move(w, 800, 600); }, false},
        {"resized", [](Student& s, xcb_window_t w) { s.resize(w, 200, 200); }, false},
        {"unmapped, then locked again", [](Student& s, xcb_window_t w) { s.unmap(w); }, true},
    };
    const xcb_window_t typing = m_student->openTypingWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_student->viewable(typing); }, kSettleMs));
    setLocked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockStands(); }, kSettleMs)) << "the lock did not stand";
    for (const Taking& taking : takings) {
        SCOPED_TRACE(taking.name);
        const std::size_t logged = restorationsLogged();
        taking.take(*m_student, lockId());
        if (taking.lockAgain)
            setLocked(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return lockStands(); }, kRestoreMs))
            << "not back within a second: viewable " << m_student->viewable(lockId()) << ", at "
            << m_student->geometry(lockId()).x() << "," << m_student->geometry(lockId()).y() << " "
            << m_student->geometry(lockId()).width() << "x" << m_student->geometry(lockId()).height();
        expectLevelOrderHolds(taking.name, {m_panel->window(), lockWindow()->window()});
        if (!taking.lockAgain) {
            EXPECT_GT(restorationsLogged(), logged);
        }
        // The keys still reach no other program.
        m_student->focus(typing);
        m_student->keyChord({kAKeycode});
        QTest::qWait(kStableMs);
        EXPECT_EQ(m_student->keysTyped(), 0) << "a key reached another program";
    }
    EXPECT_TRUE(m_exits.empty());
    setLocked(false);
    EXPECT_FALSE(m_student->keyboardHeldElsewhere());
}

TEST_P(LockAndCloseTest, AClickOnAnAgentWindowTheLockNoLongerCoversDoesNothing) {
    setLocked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockStands(); }, kSettleMs));
    PressCounter panelPresses(m_panel->window());
    const QPoint panelTitle = m_panel->window()->mapToGlobal(QPoint(40, 6));
    // The lock moved off the panel and a click there, before the agent can answer the move.
    m_student->holdServer();
    m_student->move(lockId(), 800, 600);
    m_student->click(panelTitle);
    m_student->releaseServer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return lockStands(); }, kRestoreMs));
    QTest::qWait(kStableMs);
    EXPECT_EQ(panelPresses.presses, 0) << "the panel under the lock took a click";
    EXPECT_TRUE(m_student->viewable(panelId()));
}

TEST_P(LockAndCloseTest, TheLockDismissesTheCloseQuestionAndStandsAboveEveryManagedWindow) {
    m_student->askManagerToClose(panelId());
    ASSERT_TRUE(QTest::qWaitFor([] { return question() != nullptr; }, kSettleMs)) << "no close question";
    // Further close requests while it stands open no other.
    m_student->sendDeleteWindow(panelId());
    m_student->askManagerToClose(panelId());
    m_noteTool->outlet("m_btnClose")->click();
    QTest::qWait(kStableMs);
    EXPECT_EQ(questions().size(), 1u);

    setLocked(true);
    EXPECT_TRUE(QTest::qWaitFor([] { return question() == nullptr; }, kSettleMs))
        << "the close question stands over the lock";
    EXPECT_TRUE(m_exits.empty()) << "the lock's dismissal ended the agent";
    EXPECT_TRUE(m_panel->isOpen());
    const xcb_window_t overlay = m_student->topLevel(
        static_cast<xcb_window_t>(panel::AppDelegate::shared().getOverlayWindow()->winId()));
    auto onTop = [&] {
        const auto above = m_student->viewableAbove(lockId());
        return std::all_of(above.begin(), above.end(), [&](xcb_window_t w) { return w == overlay; });
    };
    EXPECT_TRUE(QTest::qWaitFor(onTop, kSettleMs)) << viewableAboveText();
    QTest::qWait(kStableMs);
    EXPECT_TRUE(onTop()) << viewableAboveText();
    EXPECT_TRUE(m_exits.empty());
}

INSTANTIATE_TEST_SUITE_P(Managers, LockAndCloseTest, ::testing::Values(Manager::Openbox, Manager::Xfwm4),
                         [](const auto& info) { return std::string(testsupport::managerName(info.param)); });

// The chat under openbox and xfwm4: a manager's close takes the road of the chat's close button, so
// the teacher's next line opens a fresh chat.
class ChatCloseTest : public WindowManagerTest, public ::testing::WithParamInterface<Manager> {
protected:
    Manager manager() const override { return GetParam(); }
    void SetUp() override {
        WindowManagerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        platform::setTerminateHook([this](int status) { m_exits.push_back(status); });
        m_panel = open(desktop::storyboard::kMainWindow);
        m_hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(m_hub);
    }
    void TearDown() override {
        m_hub.reset();
        WindowManagerTest::TearDown();
        platform::setTerminateHook({});
    }

    // The teacher's chat line, as the client posts it.
    static void teacher(const std::string& text) {
        platform::NotificationCenter::defaultCenter().post(
            client::events::kTeacherChat, nullptr, platform::Dictionary{{client::events::kKeyChat, text}});
    }
    chat::MessageWindowViewController* chat() const {
        auto controller = m_hub->chatWindowController();
        return controller && controller->isOpen()
                   ? dynamic_cast<chat::MessageWindowViewController*>(controller->contentViewController())
                   : nullptr;
    }
    std::string log() const { return chat()->logView()->toPlainText().toStdString(); }

    std::shared_ptr<panel::MainViewController> m_hub;
    std::vector<int> m_exits;
};

TEST_P(ChatCloseTest, AManagersCloseLetsTheTeachersNextLineOpenAFreshChat) {
    struct Request {
        const char* name;
        void (Student::*send)(xcb_window_t);
    };
    const Request requests[] = {
        {"WM_DELETE_WINDOW", &Student::sendDeleteWindow},
        {"_NET_CLOSE_WINDOW", &Student::askManagerToClose},
    };
    std::string previous;
    for (const Request& request : requests) {
        SCOPED_TRACE(request.name);
        const std::string line = std::string("before ") + request.name;
        teacher(line);
        ASSERT_TRUE(QTest::qWaitFor([&] { return chat() != nullptr; }, kSettleMs)) << "no chat opened";
        QWidget* window = chat()->view()->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        const auto id = static_cast<xcb_window_t>(window->winId());
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_student->viewable(id); }, kSettleMs));
        EXPECT_TRUE(m_hub->isOpenedChatView());
        EXPECT_NE(log().find(line), std::string::npos);
        if (!previous.empty()) {
            EXPECT_EQ(log().find(previous), std::string::npos) << "the closed chat's log came back";
        }
        previous = line;

        (m_student.get()->*request.send)(id);
        EXPECT_TRUE(QTest::qWaitFor([&] { return chat() == nullptr; }, kSettleMs)) << "the chat stayed open";
        EXPECT_FALSE(m_hub->isOpenedChatView());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_student->viewable(id); }, kSettleMs))
            << "the chat is still on the screen";
    }
    teacher("after");
    ASSERT_TRUE(QTest::qWaitFor([&] { return chat() != nullptr; }, kSettleMs)) << "no chat opened";
    EXPECT_NE(log().find("after"), std::string::npos);
    EXPECT_EQ(log().find(previous), std::string::npos);
    EXPECT_TRUE(m_exits.empty());
}

INSTANTIATE_TEST_SUITE_P(Managers, ChatCloseTest, ::testing::Values(Manager::Openbox, Manager::Xfwm4),
                         [](const auto& info) { return std::string(testsupport::managerName(info.param)); });

} // namespace
