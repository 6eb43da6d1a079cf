// The note-tool panel above its boards under a real window manager (openbox, and xfwm4 where it
// runs): a private Xvfb, the agent's windows on the xcb platform, and a student who opens each board
// from the panel, draws on it with the pointer (XTest) and clicks the panel's controls, while the
// stacking order is read from the server; and who goes at the panel through the manager while a
// board is open. Skips when Xvfb or the manager cannot run.
#include "chat/MessageWindow.h"
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "notetool/CanvasWindow.h"
#include "notetool/MinimizeWindow.h"
#include "notetool/NoteToolView.h"
#include "notetool/NoteToolWindows.h"
#include "panel/AppDelegate.h"
#include "panel/PanelWindows.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/WindowController.h"
#include "platform/desktop/WindowLevels.h"
#include "support/WindowManagerSession.h"
#include "transfer/PanelTransfers.h"
#include "viewer/ScreenShareViewController.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using testsupport::Manager;

constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kAddState = 1;
constexpr std::uint32_t kSourcePager = testsupport::DesktopStudent::kSourcePager;
constexpr std::uint8_t kAltKeycode = testsupport::DesktopStudent::kAltKeycode;
constexpr std::uint8_t kTabKeycode = testsupport::DesktopStudent::kTabKeycode;
// The size of the test's screen (WindowManagerFixture::kGeometry).
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

constexpr int kStrokes = 3;
constexpr int kStrokeSteps = 12;
// How long the student holds the server while the agent restacks: far longer than a restack that
// asks the server nothing takes, far shorter than the test's own time limit.
constexpr auto kServerHeld = std::chrono::seconds(3);

// Counts the pointer releases the server delivers to a window (once each, however far the event
// travels up its widgets).
class ReleaseCounter : public QObject {
public:
    explicit ReleaseCounter(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    int releases = 0;
    bool eventFilter(QObject* target, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(target);
        if (event->type() != QEvent::MouseButtonRelease || !event->spontaneous() || !widget ||
            widget->window() != m_window)
            return false;
        const auto stamp = static_cast<QMouseEvent*>(event)->timestamp();
        if (releases == 0 || stamp != m_lastStamp)
            ++releases;
        m_lastStamp = stamp;
        return false;
    }

private:
    QWidget* m_window;
    quint64 m_lastStamp = 0;
};

// The student at the desktop, who also asks the manager what a taskbar, a pager or xdotool asks.
class BoardStudent : public testsupport::DesktopStudent {
public:
    using DesktopStudent::DesktopStudent;
    xcb_window_t rootWindow() const { return root(); }
    void showDesktop(bool on) {
        clientMessage(root(), root(), atom("_NET_SHOWING_DESKTOP"), {on ? 1u : 0u, 0, 0, 0, 0}, kToManager);
    }
    void activate(xcb_window_t window) {
        clientMessage(root(), window, atom("_NET_ACTIVE_WINDOW"), {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0},
                      kToManager);
    }
    // As another program moves a window: it asks, and the manager moves the frame.
    void moveWindow(xcb_window_t window, int x, int y) {
        const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
        xcb_configure_window(connection(), window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(connection());
    }
    // The first number of a window's property (its desktop, its WM_STATE); kNone without one.
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    std::uint32_t cardinal(xcb_window_t window, const char* name) {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> r(
            xcb_get_property_reply(connection(),
                                   xcb_get_property(connection(), 0, window, atom(name), XCB_ATOM_ANY, 0, 1),
                                   nullptr),
            &std::free);
        return r && r->format == 32 && xcb_get_property_value_length(r.get()) == 4
                   ? *static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()))
                   : kNone;
    }
};

class BoardStackingTest
    : public testsupport::WindowManagerFixture<BoardStudent, ::testing::TestWithParam<Manager>> {
protected:
    void SetUp() override {
        startSession(GetParam(), "olvex-board-stacking-test", OLVEX_TEST_CONFIG_HOME);
        if (IsSkipped() || HasFatalFailure())
            return;
        panel::registerPanelWindows();
        transfer::registerTransferWindows();
        chat::registerChatWindows();
        notetool::registerNoteToolWindows();
        viewer::registerViewerWindows();
        panel::AppDelegate::shared().applicationDidFinishLaunching();
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        panel::AppDelegate::shared().setMainWindowController(m_main);
        m_main->showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_main->window()));
        m_panel = notetool::NoteToolView::in(m_main->window());
        ASSERT_NE(m_panel, nullptr);
        // Leaving a board with ink asks nothing.
        post(client::events::kNoteSaveMode, {{"noteSave", "1"}});
    }
    void TearDown() override {
        if (!m_app)
            return;
        desktop::WindowRegistry::closeAll();
        panel::AppDelegate::shared().resetForTesting();
        m_viewer.reset();
        m_main.reset();
        stopSession();
    }

    static void post(const char* name, platform::Dictionary d) {
        platform::NotificationCenter::defaultCenter().post(name, nullptr, std::move(d));
    }
    QPoint centreOf(const char* outlet) const {
        QPushButton* button = m_panel->outlet(outlet);
        return button->mapToGlobal(button->rect().center());
    }
    // A click of the student's on a panel button, through the manager.
    void clickPanel(const char* outlet) {
        const QPoint at = centreOf(outlet);
        m_student->click(at.x(), at.y());
    }
    bool panelAbove(QWidget* board) {
        const int panel = m_student->stackPosition(static_cast<xcb_window_t>(m_main->window()->winId()));
        const int below = m_student->stackPosition(static_cast<xcb_window_t>(board->winId()));
        return panel >= 0 && below >= 0 && panel > below;
    }
    std::string positions(QWidget* board) {
        return "panel at " +
               std::to_string(
                   m_student->stackPosition(static_cast<xcb_window_t>(m_main->window()->winId()))) +
               ", board at " +
               std::to_string(m_student->stackPosition(static_cast<xcb_window_t>(board->winId())));
    }
    void expectPanelAbove(QWidget* board, const std::string& after) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return panelAbove(board); }, kSettleMs))
            << "the board covers the panel after " << after << "; " << positions(board);
        QTest::qWait(kStableMs);
        EXPECT_TRUE(panelAbove(board))
            << "the board went over the panel after " << after << "; " << positions(board);
    }
    // A stroke of the pointer across the board, away from the panel.
    void stroke(QWidget* board, int row) {
        const QRect area = board->geometry();
        const int y = area.top() + 150 + row * 120;
        const int x0 = area.left() + 100;
        m_student->moveTo(x0, y);
        m_student->button(true);
        for (int i = 1; i <= kStrokeSteps; ++i)
            m_student->moveTo(x0 + i * 40, y + (i % 2) * 30);
        m_student->button(false);
    }
    // Three strokes; after each the panel lies above the board and takes a click on its controls.
    void drawAndReachThePanel(QWidget* board, const std::string& name) {
        ReleaseCounter releases(board);
        const char* colours[] = {"m_btnColorBlue", "m_btnColorGreen", "m_btnColorBlack"};
        const int colourModes[] = {2, 6, 0};
        for (int i = 0; i < kStrokes; ++i) {
            const std::string after = "stroke " + std::to_string(i + 1) + " on the " + name;
            stroke(board, i);
            EXPECT_TRUE(QTest::qWaitFor([&] { return releases.releases > i; }, kSettleMs))
                << "the " << name << " did not get " << after;
            expectPanelAbove(board, after);
            clickPanel(colours[i]);
            EXPECT_TRUE(QTest::qWaitFor([&] { return m_panel->getColorMode() == colourModes[i]; }, kSettleMs))
                << "a click on the panel's colour did not reach it after " << after << "; "
                << positions(board);
        }
    }
    // The teacher's share opens the viewer, screen-sized, at its level.
    void openViewer() {
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kCanvasWidth, "1280");
        settings->setString(client::settings::kCanvasHeight, "800");
        settings->setString(client::settings::kScreenInit, client::settings::kScreenInitShare);
        m_viewer = desktop::WindowRegistry::instantiate(desktop::storyboard::kScreenShareWindow);
        ASSERT_TRUE(m_viewer);
        panel::AppDelegate::shared().setScreenShareWindowController(m_viewer);
        m_viewer->showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_viewer->window()));
    }
    // The minimised panel's tab, while one is shown.
    QWidget* shownTab() const {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->findChild<QWidget*>(notetool::MinimizeView::kObjectName))
                return w;
        }
        return nullptr;
    }
    // The window the student reaches the panel by: the panel, or the tab it went into.
    QWidget* panelOrTab() const { return m_main->window()->isVisible() ? m_main->window() : shownTab(); }
    bool withinReach(QWidget* board) {
        QWidget* w = panelOrTab();
        if (!w)
            return false;
        const auto id = static_cast<xcb_window_t>(w->winId());
        const xcb_rectangle_t at = m_student->placeOnRoot(id);
        const bool onScreen =
            at.x >= 0 && at.y >= 0 && at.x + at.width <= kScreenWidth && at.y + at.height <= kScreenHeight;
        const int above = m_student->stackPosition(id);
        return m_student->viewable(id) && onScreen && above >= 0 &&
               above > m_student->stackPosition(static_cast<xcb_window_t>(board->winId()));
    }
    std::string reach(QWidget* board) {
        QWidget* w = panelOrTab();
        if (!w)
            return "neither the panel nor a tab is shown";
        const auto id = static_cast<xcb_window_t>(w->winId());
        const auto boardId = static_cast<xcb_window_t>(board->winId());
        const xcb_rectangle_t at = m_student->placeOnRoot(id);
        return std::string(w == m_main->window() ? "panel" : "tab") +
               (m_student->viewable(id) ? " viewable" : " not viewable") + " at (" + std::to_string(at.x) +
               ", " + std::to_string(at.y) + "), WM_STATE " +
               std::to_string(m_student->cardinal(id, "WM_STATE")) + ", desktop " +
               std::to_string(m_student->cardinal(id, "_NET_WM_DESKTOP")) + ", stacked at " +
               std::to_string(m_student->stackPosition(id)) + "; board " +
               (m_student->viewable(boardId) ? "viewable" : "not viewable") + ", desktop " +
               std::to_string(m_student->cardinal(boardId, "_NET_WM_DESKTOP")) + ", stacked at " +
               std::to_string(m_student->stackPosition(boardId));
    }
    void expectWithinReach(QWidget* board, const std::string& after) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return withinReach(board); }, kSettleMs))
            << "the panel is out of reach after " << after << ": " << reach(board);
        QTest::qWait(kStableMs);
        EXPECT_TRUE(withinReach(board))
            << "the panel went out of reach after " << after << ": " << reach(board);
    }
    QWidget* canvasWindow() const {
        auto canvas = panel::AppDelegate::shared().getCanvasWindowController();
        return canvas && canvas->isOpen() ? canvas->window() : nullptr;
    }

    std::shared_ptr<desktop::WindowController> m_main;
    std::shared_ptr<desktop::WindowController> m_viewer;
    notetool::NoteToolView* m_panel = nullptr;
};

TEST_P(BoardStackingTest, ThePanelStaysAboveTheCaptureAndWhiteBoards) {
    for (const char* board : {"m_btnWhiteBoard", "m_btnCaptureBoard"}) {
        SCOPED_TRACE(board);
        // Held, so a new controller cannot come at the same address.
        const auto before = panel::AppDelegate::shared().getCanvasWindowController();
        clickPanel(board);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return canvasWindow() && panel::AppDelegate::shared().getCanvasWindowController() != before;
            },
            kSettleMs))
            << "no canvas after a click on " << board;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(canvasWindow()));
        expectPanelAbove(canvasWindow(), std::string("opening from ") + board);
        drawAndReachThePanel(canvasWindow(), board);
    }
    clickPanel("m_btnMac");
    EXPECT_TRUE(QTest::qWaitFor([&] { return canvasWindow() == nullptr; }, kSettleMs))
        << "the pointer button did not close the board";
}

TEST_P(BoardStackingTest, ThePanelStaysAboveTheViewerOfTheShareBoard) {
    ASSERT_NO_FATAL_FAILURE(openViewer());
    expectPanelAbove(m_viewer->window(), "the viewer opening");
    // The teacher allows the share board, and the student opens it from the panel.
    post(client::events::kShareNoteToolStatus, {{"status", "1"}});
    QTest::qWait(kStableMs);
    clickPanel("m_btnShareBoard");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_panel->getMode() == notetool::mode::kShareBoard; }, kSettleMs))
        << "a click on the share board button did not open it";
    expectPanelAbove(m_viewer->window(), "opening the share board");
    drawAndReachThePanel(m_viewer->window(), "share board");
}

// A board open with the chat above it, and then the teacher's share opens the viewer beneath them
// all: the board's windows change their transient parent while the chat keeps its own, and every
// window must still stand in level order, with the panel taking clicks.
TEST_P(BoardStackingTest, ThePanelAndChatStayAboveTheBoardWhenTheViewerOpensBeneath) {
    clickPanel("m_btnWhiteBoard");
    ASSERT_TRUE(QTest::qWaitFor([&] { return canvasWindow() != nullptr; }, kSettleMs));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(canvasWindow()));
    expectPanelAbove(canvasWindow(), "opening the white board");
    auto chat = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageWindow);
    ASSERT_TRUE(chat);
    chat->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chat->window()));
    // The manager takes the new viewer either before or after the board's hint naming it arrives;
    // each share tries it again.
    const int colourModes[] = {2, 6};
    const char* colours[] = {"m_btnColorBlue", "m_btnColorGreen"};
    for (int share = 0; share < 2; ++share) {
        SCOPED_TRACE("share " + std::to_string(share + 1));
        ASSERT_NO_FATAL_FAILURE(openViewer());
        const std::vector<QWidget*> wanted = {m_viewer->window(), canvasWindow(), m_main->window(),
                                              chat->window()};
        auto stacked = [&] {
            std::vector<xcb_window_t> ids;
            for (QWidget* w : wanted)
                ids.push_back(static_cast<xcb_window_t>(w->winId()));
            return m_student->stackPositions(ids);
        };
        auto inOrder = [&] {
            const std::vector<int> at = stacked();
            return at[0] >= 0 && std::is_sorted(at.begin(), at.end(), std::less_equal<>()); // strictly rising
        };
        auto described = [&] {
            const std::vector<int> at = stacked();
            return "viewer at " + std::to_string(at[0]) + ", canvas at " + std::to_string(at[1]) +
                   ", panel at " + std::to_string(at[2]) + ", chat at " + std::to_string(at[3]);
        };
        EXPECT_TRUE(QTest::qWaitFor(inOrder, kSettleMs)) << "after the viewer opened: " << described();
        QTest::qWait(kStableMs);
        EXPECT_TRUE(inOrder()) << "the order did not hold after the viewer opened: " << described();
        clickPanel(colours[share]);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_panel->getColorMode() == colourModes[share]; }, kSettleMs))
            << "a click on the panel's colour did not reach it; " << described();
        m_viewer->close();
        m_viewer.reset();
        expectPanelAbove(canvasWindow(), "the viewer closing");
    }
    chat->close();
}

// Keeping the levels asks the server nothing: a restack goes through while another client holds the
// server, which would stop any request that waits for an answer until the server is let go.
TEST_P(BoardStackingTest, RestackingWaitsForNothingFromTheServer) {
    clickPanel("m_btnWhiteBoard");
    ASSERT_TRUE(QTest::qWaitFor([&] { return canvasWindow() != nullptr; }, kSettleMs));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(canvasWindow()));
    expectPanelAbove(canvasWindow(), "opening the white board");
    std::atomic<bool> released{false};
    m_student->holdServer();
    std::thread letGo([&] {
        std::this_thread::sleep_for(kServerHeld);
        released = true;
        m_student->releaseServer();
    });
    desktop::WindowStack::shared().orderFront(canvasWindow(), desktop::level::kDrawingCanvas);
    desktop::WindowStack::shared().restack();
    const bool restackedWhileHeld = !released.load();
    letGo.join();
    EXPECT_TRUE(restackedWhileHeld) << "a restack waited for the server";
    expectPanelAbove(canvasWindow(), "a restack while the server was held");
}

// A board open, the student (or a taskbar, or another program) goes at the panel through the
// manager: minimises it, shows the desktop and then the windows again, switches windows twice,
// minimises it and activates the board, hides it, puts it below, sends it to another desktop or off
// the screen. After each the panel, or the tab it went into, stands viewable on the screen above the
// board, and the tab brings the panel back above the board. Without a board the panel is minimised
// as any window.
TEST_P(BoardStackingTest, ThePanelOrItsTabStaysWithinReachOverTheBoard) {
    clickPanel("m_btnWhiteBoard");
    ASSERT_TRUE(QTest::qWaitFor([&] { return canvasWindow() != nullptr; }, kSettleMs));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(canvasWindow()));
    QWidget* board = canvasWindow();
    expectPanelAbove(board, "opening the white board");
    const auto boardId = static_cast<xcb_window_t>(board->winId());
    auto toManager = [&](const char* type, std::array<std::uint32_t, 5> data) {
        m_student->clientMessage(m_student->rootWindow(),
                                 static_cast<xcb_window_t>(m_main->window()->winId()), m_student->atom(type),
                                 data, BoardStudent::kToManager);
    };
    auto minimise = [&] { toManager("WM_CHANGE_STATE", {kIconicState, 0, 0, 0, 0}); };
    auto addState = [&](const char* state) {
        toManager("_NET_WM_STATE", {kAddState, m_student->atom(state), 0, kSourcePager, 0});
    };
    const std::uint32_t otherDesktop = m_student->cardinal(boardId, "_NET_WM_DESKTOP") + 1;
    struct Step {
        const char* name;
        std::function<void()> act;
        bool minimises = false; // which over a board is the panel's own minimise, into its tab
    };
    const std::vector<Step> steps = {
        {"the panel minimised", minimise, true},
        {"showing the desktop", [&] { m_student->showDesktop(true); }},
        {"showing the desktop no more", [&] { m_student->showDesktop(false); }},
        {"Alt+Tab",
         [&] {
             m_student->keyChord({kAltKeycode, kTabKeycode});
         }},
        {"Alt+Tab again",
         [&] {
             m_student->keyChord({kAltKeycode, kTabKeycode});
         }},
        {"the panel minimised and the board activated",
         [&] {
             minimise();
             QTest::qWait(kStableMs);
             m_student->activate(boardId);
         },
         true},
        {"the panel hidden", [&] { addState("_NET_WM_STATE_HIDDEN"); }},
        {"the panel put below", [&] { addState("_NET_WM_STATE_BELOW"); }},
        {"the panel sent to another desktop",
         [&] {
             toManager("_NET_WM_DESKTOP", {otherDesktop, kSourcePager, 0, 0, 0});
         }},
        {"the panel moved off the screen",
         [&] { m_student->moveWindow(static_cast<xcb_window_t>(m_main->window()->winId()), -2000, -2000); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        expectWithinReach(board, step.name);
        if (step.minimises) {
            EXPECT_FALSE(m_main->isOpen()) << "the panel was not minimised into its tab";
        }
        if (m_main->window()->isVisible())
            continue;
        QWidget* tab = shownTab();
        ASSERT_NE(tab, nullptr);
        // Where the server shows it: Qt may learn where the manager put a new window a moment later.
        const xcb_rectangle_t at = m_student->placeOnRoot(static_cast<xcb_window_t>(tab->winId()));
        m_student->click(at.x + at.width / 2, at.y + at.height / 2);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_main->window()->isVisible(); }, kSettleMs))
            << "a click on the tab did not bring the panel back";
        expectWithinReach(board, std::string("the tab clicked after ") + step.name);
    }

    clickPanel("m_btnMac");
    ASSERT_TRUE(QTest::qWaitFor([&] { return canvasWindow() == nullptr; }, kSettleMs));
    minimise();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_main->window()->isMinimized(); }, kSettleMs))
        << "the manager did not minimise the panel over the desktop";
    QTest::qWait(kStableMs);
    EXPECT_TRUE(m_main->window()->isMinimized()) << "the panel came back over the desktop";
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_EQ(shownTab(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Managers, BoardStackingTest, ::testing::Values(Manager::Openbox, Manager::Xfwm4),
                         [](const auto& info) { return std::string(testsupport::managerName(info.param)); });

} // namespace
