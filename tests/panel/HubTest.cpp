#include "client/ClientEvents.h"
#include "client/StudentClient.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "panel/PanelEvents.h"
#include "panel/TouchLockViewWindow.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/PanelTestSupport.h"
#include "transport/TCPConnection.h"

#include <QMouseEvent>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace {

using desktop::Frame;
using panel::MainViewController;

class Hub : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        panel::AppDelegate::shared().setMainWindowController(m_main);
        m_main->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(m_hub);
    }
    void TearDown() override {
        m_hub.reset();
        m_main.reset();
        WindowsTest::TearDown();
    }
    static void post(const char* name, const void* sender, platform::Dictionary d = {}) {
        platform::NotificationCenter::defaultCenter().post(name, sender, std::move(d));
    }
    static void lock(const char* value) { post(client::events::kScreenLock, nullptr, {{"lock", value}}); }

    std::shared_ptr<desktop::WindowController> m_main;
    std::shared_ptr<MainViewController> m_hub;
};

TEST_F(Hub, PanelOpensFlushRightAtThePanelLevelAndResetsLoginSettings) {
    EXPECT_EQ(m_main->window()->frame(), (Frame{1255, 615, 185, 177}));
    EXPECT_EQ(m_main->window()->level(), desktop::level::kPanel);
    auto suite = platform::UserDefaults::suite();
    EXPECT_EQ(suite->stringValue("macOS-transferPath"), "0");
    EXPECT_EQ(suite->stringValue("macOS-dataFile-received"), "0");
}

TEST_F(Hub, RestoreFromTheTabUndoesTheTabPlacementByMode) {
    auto* controller = static_cast<panel::MainWindowController*>(m_main.get());
    struct Case {
        int mode;
        double y;
    };
    for (const Case& c : {Case{0, 715}, Case{5, 370}}) {
        controller->setMode(c.mode);
        m_main->close();
        post(panel::events::kMaximizeWindow, nullptr, {{"fX", "1255.000000"}, {"fY", "815.000000"}});
        EXPECT_TRUE(m_main->isOpen());
        EXPECT_EQ(m_main->window()->frame(), (Frame{1255, c.y, 185, 177}));
    }
}

TEST_F(Hub, TitleDragMovesThePanelOnlyWhileMovesAreAllowed) {
    QWidget* title = reinterpret_cast<QWidget*>(m_hub->titleView());
    auto send = [title](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, title->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(title, &event);
    };
    bool allowed = false;
    m_hub->setMoveEnabledQuery([&] { return allowed; });
    send(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    send(QEvent::MouseMove, {30, 15}, Qt::LeftButton);
    EXPECT_EQ(m_main->window()->frame(), (Frame{1255, 615, 185, 177}));
    allowed = true;
    send(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    send(QEvent::MouseMove, {30, 15}, Qt::LeftButton);
    // Right by 20, and down by 5, which is -5 in bottom-left coordinates.
    EXPECT_EQ(m_main->window()->frame(), (Frame{1275, 610, 185, 177}));
}

TEST_F(Hub, LockOpensOneWindowOverTheScreenAndClosesIt) {
    lock("true");
    lock("true");
    m_loop.runUntilIdle();
    auto locks = openWindows(desktop::level::kLockScreen);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0]->frame(), (Frame{0, 0, 1440, 876}));
    lock("TRUE");
    lock("maybe");
    m_loop.runUntilIdle();
    EXPECT_EQ(openWindows(desktop::level::kLockScreen).size(), 1u);
    lock("false");
    m_loop.runUntilIdle();
    EXPECT_TRUE(openWindows(desktop::level::kLockScreen).empty());
    EXPECT_FALSE(m_hub->lockViewWindowController());
    lock("false"); // nothing left to close
    m_loop.runUntilIdle();
    lock("true");
    m_loop.runUntilIdle();
    EXPECT_EQ(openWindows(desktop::level::kLockScreen).size(), 1u);
}

TEST_F(Hub, ARepeatedLockPutsBackALockWindowThatWasTakenAway) {
    lock("true");
    m_loop.runUntilIdle();
    auto controller = m_hub->lockViewWindowController();
    ASSERT_TRUE(controller);
    desktop::Window* window = controller->window();
    // What another program can do to a window the manager never sees: hide it, move it.
    window->hide();
    window->setGeometry(800, 600, 200, 200);
    lock("true");
    m_loop.runUntilIdle();
    EXPECT_EQ(m_hub->lockViewWindowController(), controller);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->frame(), (Frame{0, 0, 1440, 876}));
    EXPECT_NE(window->inputGrab(), nullptr);
    const auto order = desktop::WindowStack::shared().order();
    const auto lockAt = std::find(order.begin(), order.end(), window);
    ASSERT_NE(lockAt, order.end()) << "the lock left the level stack";
    EXPECT_LT(std::find(order.begin(), order.end(), m_main->window()), lockAt);
    lock("false");
    m_loop.runUntilIdle();
    EXPECT_FALSE(window->isVisible());
}

// Lock windows made through the registry, counted while they live.
class LockBurst : public Hub {
protected:
    void SetUp() override {
        Hub::SetUp();
        desktop::WindowRegistry::registerFactory(desktop::storyboard::kLockViewWindow, [this] {
            m_peak = std::max(m_peak, ++m_alive);
            return std::shared_ptr<panel::TouchLockViewWindowController>(
                new panel::TouchLockViewWindowController, [this](panel::TouchLockViewWindowController* c) {
                    --m_alive;
                    delete c;
                });
        });
    }
    bool locked() const {
        auto lock = m_hub->lockViewWindowController();
        return lock && lock->isOpen() && lock->window()->isVisible();
    }
    int m_alive = 0;
    int m_peak = 0;
};

TEST_F(LockBurst, PairsInOneReadCostOneWindowAndTheLastCommandWins) {
    constexpr int kPairs = 200;
    struct Case {
        const char* name;
        bool endLocked;
        // The main queue runs after each command, as when the pairs come in reads of their own.
        bool runBetween;
    };
    for (const Case& c :
         {Case{"one read, ending unlocked", false, false}, Case{"one read, ending locked", true, false},
          Case{"a read each, ending unlocked", false, true},
          Case{"a read each, ending locked", true, true}}) {
        SCOPED_TRACE(c.name);
        m_peak = m_alive;
        for (int i = 0; i < kPairs; ++i) {
            for (const char* command : {"true", "false"}) {
                lock(command);
                if (c.runBetween)
                    m_loop.runUntilIdle();
            }
        }
        if (c.endLocked)
            lock("true");
        m_loop.runUntilIdle();
        EXPECT_EQ(locked(), c.endLocked);
        EXPECT_EQ(openWindows(desktop::level::kLockScreen).size(), c.endLocked ? 1u : 0u);
        EXPECT_LE(m_peak, 1) << "lock windows alive at once";
        lock("false");
        m_loop.runUntilIdle();
        QApplication::sendPostedEvents(); // closed windows let go
    }
    // "true", "true", "false" still ends unlocked.
    lock("true");
    lock("true");
    lock("false");
    m_loop.runUntilIdle();
    EXPECT_FALSE(locked());
}

TEST_F(LockBurst, PairsFromAReceiveThreadWhileTheMainQueueRunsCostOneWindow) {
    constexpr int kPairs = 200;
    std::atomic<bool> read{false};
    std::thread receive([&read] {
        for (int i = 0; i < kPairs; ++i) {
            lock("true");
            lock("false");
        }
        lock("true");
        read.store(true);
    });
    EXPECT_TRUE(m_loop.runUntil([&read] { return read.load(); }));
    receive.join();
    m_loop.runUntilIdle();
    EXPECT_TRUE(locked());
    EXPECT_EQ(openWindows(desktop::level::kLockScreen).size(), 1u);
    EXPECT_LE(m_peak, 1) << "lock windows alive at once";
}

class LostLink : public Hub {
protected:
    void SetUp() override {
        Hub::SetUp();
        m_client = client::StudentClient::create();
        m_hub->setStudentClient(m_client);
    }
    void TearDown() override {
        if (m_client)
            m_client->teardown();
        m_client.reset();
        Hub::TearDown();
    }
    void expectPanelClosedAndBoxShown() {
        m_loop.runUntilIdle();
        EXPECT_FALSE(m_main->isOpen());
        // The programmatic close never ran the close-ends-the-process path.
        EXPECT_TRUE(m_exits.empty());
        const auto boxes = openWindows(desktop::level::kMessageBox);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(labelText(boxes[0]),
                  QString::fromStdString(platform::localizedString("ZQ_ALERT_SERVER_DISCONNECTED")));
        EXPECT_FALSE(button(boxes[0])->isVisibleTo(boxes[0]));
        m_loop.advance(3.1);
        EXPECT_TRUE(m_exits.empty());
        m_loop.advance(0.2);
        EXPECT_EQ(m_exits, std::vector<int>{0});
    }
    std::shared_ptr<client::StudentClient> m_client;
};

TEST_F(LostLink, DisconnectOfTheCurrentLinkClosesThePanelAndEndsAfterTheBox) {
    auto link = m_client->getMVConn();
    ASSERT_TRUE(link);
    post(client::events::kDisconnect, static_cast<const transport::TCPConnection*>(link.get()));
    expectPanelClosedAndBoxShown();
}

TEST_F(LostLink, DisconnectFromTheClientItselfCounts) {
    post(client::events::kDisconnect, m_client.get());
    expectPanelClosedAndBoxShown();
}

TEST_F(LostLink, DisconnectFromTheHeartbeatCounts) {
    int heartbeat = 0;
    m_hub->setHeartbeatSender(&heartbeat);
    post(client::events::kDisconnect, &heartbeat);
    expectPanelClosedAndBoxShown();
}

// The relay's "[MV00100]" posts the loss from the client each time it comes, and the heartbeat may
// count the same loss again: the session still ends once, with one box.
TEST_F(LostLink, ALossReportedAgainAndAgainShowsOneBox) {
    constexpr int kReports = 100;
    int heartbeat = 0;
    m_hub->setHeartbeatSender(&heartbeat);
    for (int i = 0; i < kReports; ++i)
        post(client::events::kDisconnect, m_client.get());
    post(client::events::kDisconnect, &heartbeat);
    expectPanelClosedAndBoxShown();
}

TEST_F(LostLink, DisconnectFromAnotherSenderDoesNothing) {
    int loginTimeLink = 0;
    post(client::events::kDisconnect, &loginTimeLink);
    post(client::events::kDisconnect, nullptr);
    m_loop.advance(10);
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_TRUE(openWindows(desktop::level::kMessageBox).empty());
    EXPECT_TRUE(m_exits.empty());
}

TEST_F(Hub, ACloseRequestOnThePanelWithoutACloseButtonChangesNothing) {
    m_main->window()->close(); // a window manager's close: the panel has no close button here
    EXPECT_TRUE(m_exits.empty());
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_TRUE(m_main->window()->isVisible());
}

// A window manager's close on the borderless windows does what the window's own control does: the
// chat's close button closes the chat; the others have none and stay.
TEST_F(Hub, CloseRequestsOnTheSmallWindowsDoWhatTheirOwnControlsDo) {
    m_hub->setIsOpenChatView(true);
    auto chat = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageWindow);
    chat->showWindow();
    chat->window()->close();
    EXPECT_FALSE(chat->isOpen());
    EXPECT_FALSE(m_hub->isOpenedChatView());

    lock("true");
    m_loop.runUntilIdle();
    auto lockWindow = m_hub->lockViewWindowController();
    ASSERT_TRUE(lockWindow);
    auto progress = desktop::WindowRegistry::instantiate(desktop::storyboard::kFileUploaderWindow);
    progress->showWindow();
    panel::AppDelegate::shared().applicationDidFinishLaunching();
    desktop::Window* overlay = panel::AppDelegate::shared().getOverlayWindow();
    for (desktop::Window* window : {m_main->window(), lockWindow->window(), progress->window(), overlay}) {
        window->close();
        EXPECT_TRUE(window->isVisible()) << window->metaObject()->className();
    }
    EXPECT_TRUE(m_exits.empty());
}

} // namespace
