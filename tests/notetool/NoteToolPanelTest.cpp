// The note-tool panel in the main panel: its modes and layout, tools, erase-all, board saving and
// the question about unsaved ink, the teacher's control, minimising, and closing.
#include "NoteToolTestSupport.h"
#include "client/ClientEvents.h"
#include "client/GlobalConfig.h"
#include "notetool/MinimizeWindow.h"
#include "notetool/NoteToolEvents.h"
#include "panel/MainWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/Workspace.h"

#include <QAction>
#include <QGraphicsOpacityEffect>
#include <QTest>
#include <fstream>

namespace {

using desktop::Frame;
using notetooltest::NoteToolTest;
namespace mode = notetool::mode;

constexpr Frame kShort{1255, 615, 185, 177};
constexpr Frame kTall{1255, 270, 185, 524};

int windowControllerMode() {
    auto main = panel::AppDelegate::shared().getMainWindowController();
    return static_cast<panel::MainWindowController*>(main.get())->getMode();
}

TEST_F(NoteToolTest, ModesResizeThePanelAndShowTheirGroupsAndImages) {
    EXPECT_EQ(frame(), kShort);
    EXPECT_FALSE(m_panel->drawView()->isVisibleTo(m_panel));
    struct Step {
        void (notetool::NoteToolView::*action)();
        int mode;
        Frame frame;
        bool etc;
        const char* mac;
        const char* capture;
        const char* white;
        const char* share;
    };
    using V = notetool::NoteToolView;
    const Step steps[] = {
        {&V::onClickWhiteBoardMode, 5, kTall, true, "mode_touch_normal", "mode_captureboard_normal",
         "mode_whiteboard_selected", "note_sb"},
        {&V::onClickCaptureBoardMode, 2, kTall, true, "mode_touch_normal", "mode_captureboard_selected",
         "mode_whiteboard_normal", "note_sb"},
        {&V::onClickScreenShareBoardMode, 3, kTall, false, "note_cursor", "note_draw",
         "mode_whiteboard_normal", "note_sb_checked"},
        {&V::onClickWhiteBoardMode, 5, kTall, true, "mode_touch_normal", "mode_captureboard_normal",
         "mode_whiteboard_selected", "note_sb"},
        {&V::onClickMacMode, 0, kShort, false, "mode_touch_selected", "mode_captureboard_normal",
         "mode_whiteboard_normal", "note_sb"},
        {&V::onClickScreenShareBoardMode, 3, kTall, false, "note_cursor", "note_draw",
         "mode_whiteboard_normal", "note_sb_checked"},
        {&V::onClickMacMode, 0, kShort, false, "mode_touch_selected", "mode_captureboard_normal",
         "mode_whiteboard_normal", "note_sb"},
    };
    for (const Step& s : steps) {
        (m_panel->*s.action)();
        m_loop.advance(notetool::NoteToolView::kCaptureDelay);
        m_loop.runUntilIdle();
        SCOPED_TRACE(s.mode);
        EXPECT_EQ(m_panel->model().getLastMode(), s.mode);
        EXPECT_EQ(windowControllerMode(), s.mode);
        EXPECT_EQ(m_panel->getMode(), s.mode);
        EXPECT_EQ(frame(), s.frame);
        EXPECT_EQ(m_panel->drawView()->isVisibleTo(m_panel), s.mode != 0);
        EXPECT_EQ(m_panel->etcView()->isVisibleTo(m_panel), s.etc);
        EXPECT_EQ(image("m_btnMac"), s.mac);
        EXPECT_EQ(image("m_btnCaptureBoard"), s.capture);
        EXPECT_EQ(image("m_btnWhiteBoard"), s.white);
        EXPECT_EQ(image("m_btnShareBoard"), s.share);
        // A canvas exactly in the capture and white boards, one at most.
        EXPECT_EQ(openWindows(desktop::level::kDrawingCanvas).size(), (s.mode == 2 || s.mode == 5) ? 1u : 0u);
    }
}

TEST_F(NoteToolTest, CaptureBoardHidesThePanelWindowBeforeTheStillAndOnlyOnce) {
    openCaptureBoard();
    EXPECT_EQ(m_stillsTaken, 1);
    EXPECT_FALSE(m_panelShownAtCapture);
    EXPECT_TRUE(m_main->window()->isVisible()); // back once the canvas has loaded
    ASSERT_NE(canvasContent(), nullptr);
    EXPECT_EQ(canvasContent()->getImageView()->image().pixelColor(10, 10), QColor(0, 0, 255));
    m_panel->onClickCaptureBoardMode(); // already open: nothing
    m_loop.advance(1.0);
    EXPECT_EQ(m_stillsTaken, 1);
    EXPECT_EQ(openWindows(desktop::level::kDrawingCanvas).size(), 1u);
}

TEST_F(NoteToolTest, ADelayedCaptureOpensNothingOnceTheModeChanged) {
    m_panel->onClickCaptureBoardMode();
    m_loop.runUntilIdle();
    EXPECT_FALSE(m_main->window()->isVisible());
    // Another board is chosen before the still is taken.
    m_panel->onClickWhiteBoardMode();
    m_loop.advance(1.0);
    m_loop.runUntilIdle();
    EXPECT_EQ(m_stillsTaken, 0);
    EXPECT_TRUE(m_main->window()->isVisible());
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kWhiteBoard);
    EXPECT_EQ(openWindows(desktop::level::kDrawingCanvas).size(), 1u);
}

TEST_F(NoteToolTest, ToolThicknessAndColourButtonsSetTheGettersAndImages) {
    outlet("m_btnEraseAll")->click();
    EXPECT_EQ(m_panel->getToolMode(), 0); // a momentary action
    EXPECT_EQ(image("m_btnPen"), "pencil_selected");
    EXPECT_EQ(image("m_btnEraseAll"), "erase_all_normal");
    outlet("m_btnErase")->click();
    EXPECT_EQ(m_panel->getToolMode(), 1);
    EXPECT_EQ(image("m_btnErase"), "erase_selected");
    const std::pair<const char*, float> widths[] = {{"m_btnThickness2", 5.0f},
                                                    {"m_btnThickness3", 8.0f},
                                                    {"m_btnThickness4", 12.0f},
                                                    {"m_btnThickness1", 2.0f}};
    for (auto [button, width] : widths) {
        outlet(button)->click();
        EXPECT_EQ(m_panel->getThickness(), width) << button;
    }
    outlet("m_btnColorCyan")->click();
    EXPECT_EQ(m_panel->getColorMode(), 7);
    EXPECT_EQ(image("m_btnColorCyan"), "color_cyan_selected");
    EXPECT_EQ(image("m_btnColorRed"), "color_red_normal");
    outlet("m_btnBlendOption")->click();
    EXPECT_TRUE(m_panel->getIsBlend());
    EXPECT_EQ(image("m_btnBlendOption"), "blend_type_selected");
    // The hub hands the same settings to the drawing surfaces.
    ASSERT_TRUE(m_hub->getNoteToolView());
    EXPECT_EQ(m_hub->getNoteToolView()->getColorMode(), 7);
    // Leaving a board resets pen, red and the thinnest width.
    openWhiteBoard();
    m_panel->onClickMacMode();
    EXPECT_EQ(m_panel->getToolMode(), 0);
    EXPECT_EQ(m_panel->getColorMode(), 1);
    EXPECT_EQ(m_panel->getThickness(), 2.0f);
}

TEST_F(NoteToolTest, EraseAllTellsTheTeacherOnlyOnTheShareBoard) {
    connectConsole();
    int canvasClears = 0;
    int shareClears = 0;
    platform::ObserverSet seen;
    seen.add(notetool::events::kCaptureBoardRemoveAll, nullptr,
             [&](const platform::Notification&) { ++canvasClears; });
    seen.add(panel::events::kShareBoardRemoveAll, nullptr,
             [&](const platform::Notification&) { ++shareClears; });
    openWhiteBoard();
    m_panel->setWrite(true);
    outlet("m_btnEraseAll")->click();
    EXPECT_EQ(canvasClears, 1);
    EXPECT_EQ(shareClears, 0);
    EXPECT_FALSE(m_panel->model().hasUnsavedInk());
    m_panel->onClickScreenShareBoardMode();
    ASSERT_TRUE(m_console->waitFor("[PC00147]"));
    outlet("m_btnEraseAll")->click();
    EXPECT_EQ(canvasClears, 2);
    EXPECT_EQ(shareClears, 1);
    const auto packet = m_console->waitFor("[PC00143]");
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->link, 0u); // the direct link
    EXPECT_EQ(packet->params(), "");
}

TEST_F(NoteToolTest, UnsavedInkIsOfferedForSavingAsThePolicySays) {
    openWhiteBoard();
    m_panel->setWrite(true);
    // Policy 0: a question; mode actions wait for the answer.
    m_panel->onClickCaptureBoardMode();
    EXPECT_TRUE(m_panel->isSaveQuestionPending());
    m_panel->onClickMacMode();
    m_panel->onClickScreenShareBoardMode();
    m_loop.runUntilIdle();
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kWhiteBoard);
    ASSERT_TRUE(answer(1)); // OK: saved without the "saved" box, then the capture board
    openCaptureBoard();
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kCaptureBoard);
    EXPECT_FALSE(m_panel->model().hasUnsavedInk());
    const auto folder = std::filesystem::path(m_home) / "Documents" / "OLVEX";
    ASSERT_TRUE(std::filesystem::exists(folder));
    const auto day = *std::filesystem::directory_iterator(folder);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(day.path()), {}), 1);
    EXPECT_TRUE(openWindows(desktop::level::kMessageBox).empty());

    // Policy 1 and 2: nothing asked, the ink is left.
    for (const char* policy : {"1", "2"}) {
        post(client::events::kNoteSaveMode, {{"noteSave", policy}});
        m_panel->setWrite(true);
        m_panel->onClickMacMode();
        EXPECT_FALSE(m_panel->isSaveQuestionPending()) << policy;
        EXPECT_EQ(m_panel->model().getLastMode(), mode::kPointer);
        EXPECT_TRUE(m_panel->model().hasUnsavedInk());
        openWhiteBoard();
    }
    // Back to 0, and Cancel: the ink is dropped and the mode changes.
    post(client::events::kNoteSaveMode, {{"noteSave", "0"}});
    m_panel->onClickScreenShareBoardMode();
    ASSERT_TRUE(answer(0));
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kShareBoard);
    EXPECT_FALSE(m_panel->model().hasUnsavedInk());
}

TEST_F(NoteToolTest, AFailedSaveWarnsAndKeepsTheBoardAndItsInk) {
    std::filesystem::create_directories(std::filesystem::path(m_home) / "Documents");
    std::ofstream(std::filesystem::path(m_home) / "Documents" / "OLVEX") << "not a folder";
    openWhiteBoard();
    m_panel->setWrite(true);
    m_panel->onClickMacMode();
    ASSERT_TRUE(answer(1));
    m_loop.runUntilIdle();
    EXPECT_TRUE(m_panel->model().hasUnsavedInk());
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kWhiteBoard);
    EXPECT_EQ(openWindows(desktop::level::kDrawingCanvas).size(), 1u);
    const auto boxes = openWindows(desktop::level::kMessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(labelText(boxes[0]),
              QString::fromStdString(platform::localizedString("ZQ_NOTIFICATION_SAVE_BOARD_FAILED")));
}

TEST_F(NoteToolTest, TeacherStatusTextsSetTheButtons) {
    struct Case {
        const char* event;
        const char* outletName;
        const char* status;
        const char* image;
        bool enabled;
    };
    const Case cases[] = {
        {client::events::kScreenUploadStatus, "m_btnScreenUpload", "1", "btn_upscreen_checked", true},
        {client::events::kScreenUploadStatus, "m_btnScreenUpload", "2", "btn_upscreen_disabled", false},
        {client::events::kScreenUploadStatus, "m_btnScreenUpload", "7", "btn_upscreen_disabled", false},
        {client::events::kScreenUploadStatus, "m_btnScreenUpload", "0", "btn_upscreen_normal", true},
        {client::events::kShareScreenStatus, "m_btnScreenShare", "1", "note_sharescreen_checked", true},
        {client::events::kShareScreenStatus, "m_btnScreenShare", "2", "btn_sharescreen_disabled", false},
        {client::events::kShareScreenStatus, "m_btnScreenShare", "0", "note_sharescreen", true},
        {client::events::kShareNoteToolStatus, "m_btnShareBoard", "0", "note_sb_disabled", false},
        {client::events::kShareNoteToolStatus, "m_btnShareBoard", "2", "note_sb_disabled", false},
        {client::events::kShareNoteToolStatus, "m_btnShareBoard", "1", "note_sb", true},
    };
    for (const Case& c : cases) {
        post(c.event, {{"status", c.status}});
        m_loop.runUntilIdle();
        EXPECT_EQ(image(c.outletName), c.image) << c.outletName << " " << c.status;
        EXPECT_EQ(outlet(c.outletName)->isEnabled(), c.enabled) << c.outletName << " " << c.status;
    }
    // The share board is left on the teacher's word.
    m_panel->onClickScreenShareBoardMode();
    post(client::events::kShareNoteToolStatus, {{"status", "2"}});
    m_loop.runUntilIdle();
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kPointer);
    EXPECT_EQ(frame(), kShort);
}

TEST_F(NoteToolTest, ScreenButtonsAskTheTeacherAndRestForAWhile) {
    connectConsole();
    outlet("m_btnScreenShare")->click(); // not uploaded: nothing
    outlet("m_btnScreenUpload")->click();
    ASSERT_TRUE(m_console->waitFor("[PC00037]"));
    EXPECT_FALSE(m_panel->model().isClickEnabled());
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(outlet("m_btnScreenUpload")->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.5);
    m_loop.advance(3.0);
    EXPECT_TRUE(m_panel->model().isClickEnabled());
    EXPECT_DOUBLE_EQ(effect->opacity(), 1.0);
    post(client::events::kScreenUploadStatus, {{"status", "1"}});
    m_loop.runUntilIdle();
    m_panel->onClickScreenShareBoardMode();
    outlet("m_btnScreenShare")->click(); // on
    outlet("m_btnScreenShare")->click(); // inert for 1.5 s
    m_loop.advance(1.5);
    outlet("m_btnScreenShare")->click(); // off, leaving the share board
    EXPECT_EQ(m_panel->model().getLastMode(), mode::kPointer);
    std::vector<std::string> codes;
    for (int i = 0; i < 4; ++i) {
        auto p = m_console->waitForMatch([](const testsupport::PeerPacket& p) {
            return p.code() == "[PC00038]" || p.code() == "[PC00148]" || p.code() == "[PC00147]";
        });
        ASSERT_TRUE(p);
        codes.push_back(p->code());
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"[PC00147]", "[PC00038]", "[PC00148]", "[PC00038]"}));
}

TEST_F(NoteToolTest, NoUploadWhileSharingUntilTheTeachersShareStatusZero) {
    connectConsole();
    post(client::events::kScreenUploadStatus, {{"status", "1"}});
    m_loop.runUntilIdle();
    outlet("m_btnScreenShare")->click(); // the student shares
    ASSERT_TRUE(m_console->waitFor("[PC00038]"));
    ASSERT_TRUE(m_panel->model().isScreenShared());
    m_loop.advance(1.5); // both buttons take clicks again
    // While sharing, an upload click only shows the box, clickable or not.
    outlet("m_btnScreenUpload")->click();
    m_loop.runUntilIdle();
    const auto boxes = openWindows(desktop::level::kMessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(labelText(boxes[0]),
              QString::fromStdString(platform::localizedString("ZQ_NOTIFICATION_CONFIRM_SCREEN_SHARE")));
    EXPECT_TRUE(m_panel->model().isClickEnabled());
    // The teacher's "1" shows sharing without making it the student's; "0" ends the student's share.
    post(client::events::kShareScreenStatus, {{"status", "1"}});
    m_loop.runUntilIdle();
    EXPECT_TRUE(m_panel->model().isScreenShared());
    post(client::events::kShareScreenStatus, {{"status", "0"}});
    m_loop.runUntilIdle();
    EXPECT_FALSE(m_panel->model().isScreenShared());
    EXPECT_EQ(image("m_btnScreenShare"), "note_sharescreen");
    outlet("m_btnScreenUpload")->click();
    EXPECT_TRUE(m_console->waitFor("[PC00037]"));
    EXPECT_EQ(m_console->count("[PC00037]"), 1u);
}

TEST_F(NoteToolTest, CloseButtonMovesAsTheTeacherForbidsAndAllowsClosing) {
    auto* close = outlet("m_btnClose");
    auto* minimize = outlet("m_btnMinimize");
    const int y = close->y();
    EXPECT_EQ(close->x(), 140);
    EXPECT_EQ(minimize->x(), 96);
    post(client::events::kDisabledX);
    m_loop.runUntilIdle();
    EXPECT_EQ(minimize->pos(), QPoint(140, y));
    EXPECT_FALSE(close->isVisibleTo(m_panel));
    post(client::events::kEnabledX);
    m_loop.runUntilIdle();
    EXPECT_EQ(minimize->pos(), QPoint(96, y));
    EXPECT_TRUE(close->isVisibleTo(m_panel));
}

TEST_F(NoteToolTest, MinimiseAndRestorePutThePanelBackInEveryMode) {
    for (auto [open, expected] :
         {std::pair<bool, Frame>{false, kShort}, std::pair<bool, Frame>{true, kTall}}) {
        if (open)
            openWhiteBoard();
        outlet("m_btnMinimize")->click();
        m_loop.runUntilIdle();
        EXPECT_FALSE(m_main->isOpen());
        EXPECT_TRUE(client::GlobalConfig::shared().isMinimizeEnabled());
        const auto tabs = openWindows(desktop::level::kPanel);
        ASSERT_EQ(tabs.size(), 1u);
        EXPECT_EQ(tabs[0]->frame(), (Frame{1255, 715, 100, 100})); // 100 above the short panel's origin
        auto* tab = dynamic_cast<notetool::MinimizeView*>(
            tabs[0]->findChild<QWidget*>(notetool::MinimizeView::kObjectName));
        ASSERT_NE(tab, nullptr);
        QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(50, 50));
        m_loop.runUntilIdle();
        EXPECT_TRUE(m_main->isOpen());
        EXPECT_EQ(frame(), expected);
    }
}

// The window manager's minimise of the panel over a board is the panel's own, into the tab that
// brings it back; over the desktop the panel is minimised as any window.
TEST_F(NoteToolTest, AWindowManagersMinimiseOverABoardIsThePanelsOwn) {
    desktop::Window* panelWindow = m_main->window();
    panelWindow->showMinimized();
    m_loop.runUntilIdle();
    QApplication::processEvents();
    EXPECT_TRUE(panelWindow->isMinimized());
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_EQ(openWindows(desktop::level::kPanel), std::vector<desktop::Window*>{panelWindow}); // no tab
    panelWindow->showNormal();

    openWhiteBoard();
    panelWindow->showMinimized();
    m_loop.runUntilIdle();
    QApplication::processEvents();
    EXPECT_FALSE(m_main->isOpen());
    const auto tabs = openWindows(desktop::level::kPanel);
    ASSERT_EQ(tabs.size(), 1u);
    EXPECT_EQ(tabs[0]->frame(), (Frame{1255, 715, 100, 100}));
    QTest::mouseClick(tabs[0]->findChild<QWidget*>(notetool::MinimizeView::kObjectName), Qt::LeftButton, {},
                      QPoint(50, 50));
    m_loop.runUntilIdle();
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_FALSE(panelWindow->isMinimized());
    EXPECT_EQ(frame(), kTall);
    EXPECT_TRUE(canvas());
}

TEST_F(NoteToolTest, TeachersLockKeepsTheTabUntilUnlocked) {
    post(client::events::kNoteToolLock, {{"lock", "1"}});
    m_loop.runUntilIdle();
    EXPECT_FALSE(m_main->isOpen());
    auto tabs = openWindows(desktop::level::kPanel);
    ASSERT_EQ(tabs.size(), 1u);
    auto* tab = dynamic_cast<notetool::MinimizeView*>(
        tabs[0]->findChild<QWidget*>(notetool::MinimizeView::kObjectName));
    EXPECT_TRUE(tab->isLocked());
    QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(50, 50));
    post(client::events::kNoteToolLock, {{"lock", "1"}}); // already minimised: no second tab
    m_loop.runUntilIdle();
    EXPECT_FALSE(m_main->isOpen());
    EXPECT_EQ(openWindows(desktop::level::kPanel).size(), 1u);
    post(client::events::kNoteToolLock, {{"maximize", "1"}});
    m_loop.runUntilIdle();
    EXPECT_TRUE(m_main->isOpen());
    EXPECT_EQ(frame(), kShort);
}

TEST_F(NoteToolTest, ShowHideQueryReportsTheModeAndCloseEndsTheProcessWhenConfirmed) {
    std::vector<std::string> reported;
    platform::ObserverSet seen;
    seen.add(notetool::events::kNoteToolMode, nullptr,
             [&](const platform::Notification& n) { reported.push_back(n.dictionary()->at("status")); });
    openWhiteBoard();
    post(client::events::kNoteToolShowHide, {{"status", "1"}});
    post(client::events::kNoteToolShowHide, {{"status", "0"}});
    EXPECT_EQ(reported, std::vector<std::string>{"5"});
    outlet("m_btnClose")->click();
    ASSERT_TRUE(answer(0));
    EXPECT_TRUE(m_exits.empty());
    outlet("m_btnClose")->click();
    ASSERT_TRUE(answer(1));
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

// A close question open when the teacher locks the screen is dismissed as a "cancel"; one still
// open when the teacher disables closing no longer ends the class: the student's OK comes after the
// teacher's word.
TEST_F(NoteToolTest, ACloseQuestionGivesWayToTheTeachersLockOrDisable) {
    struct Withdrawal {
        const char* name;
        platform::Dictionary dictionary;
        bool dismissesTheQuestion;
    };
    const Withdrawal withdrawals[] = {
        {client::events::kScreenLock, {{client::events::kKeyLock, "true"}}, true},
        {client::events::kDisabledX, {}, false},
    };
    for (const Withdrawal& withdrawal : withdrawals) {
        SCOPED_TRACE(withdrawal.name);
        outlet("m_btnClose")->click();
        post(withdrawal.name, withdrawal.dictionary);
        m_loop.runUntilIdle();
        EXPECT_EQ(answer(1), !withdrawal.dismissesTheQuestion);
        EXPECT_TRUE(m_exits.empty());
        post(client::events::kScreenLock, {{client::events::kKeyLock, "false"}});
        post(client::events::kEnabledX);
        m_loop.runUntilIdle();
    }
}

} // namespace

namespace {

TEST_F(NoteToolTest, TheTitlesMenuOpensTheBoardsFolderAndOffersNothingElse) {
    std::vector<std::string> revealed;
    platform::setWorkspaceHandlers({{}, [&](const std::string& path) {
                                        revealed.push_back(path);
                                        return true;
                                    }});
    QWidget* title = m_hub->titleView();
    EXPECT_EQ(title->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(title->actions().size(), 1); // no debug login among them
    title->actions().at(0)->trigger();
    const std::string folder = m_home + "/Documents/OLVEX";
    EXPECT_EQ(revealed, std::vector<std::string>{folder});
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    platform::setWorkspaceHandlers({});
}

} // namespace

namespace {

TEST_F(NoteToolTest, TheConsolesCommandsReachThePanel) {
    connectConsole();
    ASSERT_TRUE(m_console->sendText("[MV00052]true"));
    ASSERT_TRUE(m_loop.runUntil([&] { return !outlet("m_btnClose")->isVisibleTo(m_panel); }, 5.0));
    EXPECT_EQ(outlet("m_btnMinimize")->x(), 140);
    ASSERT_TRUE(m_console->sendText("[MV00304]true,2"));
    ASSERT_TRUE(m_loop.runUntil([&] { return m_panel->model().getNoteSaveMode() == 2; }, 5.0));
    ASSERT_TRUE(m_console->sendText("[MV00259]2"));
    ASSERT_TRUE(m_loop.runUntil([&] { return !m_main->isOpen(); }, 5.0));
    ASSERT_TRUE(m_console->sendText("[MV00259]0"));
    ASSERT_TRUE(m_loop.runUntil([&] { return m_main->isOpen(); }, 5.0));
    EXPECT_EQ(frame(), (desktop::Frame{1255, 615, 185, 177}));
}

} // namespace

namespace {

// The canvas and the minimised tab have no close control: a window manager's close leaves them.
TEST_F(NoteToolTest, TheCanvasAndTheTabStayOnAWindowManagersClose) {
    openWhiteBoard();
    ASSERT_TRUE(canvas() && canvas()->isOpen());
    canvas()->window()->close();
    EXPECT_TRUE(canvas()->isOpen());
    m_panel->onClickMinimize();
    m_loop.runUntilIdle();
    const auto tabs = openWindows(desktop::level::kPanel);
    ASSERT_EQ(tabs.size(), 1u);
    tabs[0]->close();
    EXPECT_TRUE(tabs[0]->isVisible());
    EXPECT_TRUE(m_exits.empty());
}

} // namespace
