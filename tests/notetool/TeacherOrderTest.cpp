// The teacher's lock and unlock of the note-tool panel, arriving together on the direct link: the
// panel ends as the last of them asks, and a lock that comes while the capture board is opening
// places the tab by the panel of the open board.
#include "NoteToolTestSupport.h"
#include "client/ClientEvents.h"
#include "notetool/MinimizeWindow.h"
#include "platform/PlatformTestSupport.h"
#include "support/PeerCodec.h"

#include <atomic>

namespace {

using desktop::Frame;
using notetooltest::NoteToolTest;

constexpr Frame kShort{1255, 615, 185, 177};
constexpr Frame kTall{1255, 270, 185, 524};
// 100 points above the short panel's origin.
constexpr Frame kTab{1255, 715, 100, 100};
constexpr int kRounds = 3;

class TeacherOrderTest : public NoteToolTest {
protected:
    // The texts framed back to back and written at once, so the agent reads them in one read.
    bool sendInOneRead(std::initializer_list<const char*> texts) {
        testsupport::Bytes bytes;
        for (const char* text : texts) {
            const testsupport::Bytes framed = testsupport::frame(*testsupport::textBody(text));
            bytes.insert(bytes.end(), framed.begin(), framed.end());
        }
        return m_console->sendRaw(bytes);
    }
    notetool::MinimizeView* tab() const {
        const auto tabs = openWindows(desktop::level::kPanel);
        if (tabs.size() != 1)
            return nullptr;
        return dynamic_cast<notetool::MinimizeView*>(
            tabs[0]->findChild<QWidget*>(notetool::MinimizeView::kObjectName));
    }
    bool closeButtonHidden() const { return !outlet("m_btnClose")->isVisibleTo(m_panel); }
};

TEST_F(TeacherOrderTest, TheLastOfALockAndAnUnlockReadTogetherWins) {
    connectConsole();
    struct Pair {
        const char* first;
        const char* last;
        bool locked;
    };
    const Pair pairs[] = {{"[MV00259]2", "[MV00259]0", false}, {"[MV00259]0", "[MV00259]2", true}};
    bool hidden = false;
    for (int round = 0; round < kRounds; ++round) {
        for (const Pair& pair : pairs) {
            SCOPED_TRACE(std::string(pair.first) + " then " + pair.last + ", round " + std::to_string(round));
            // The close button's command behind the pair tells when the pair has been handled.
            hidden = !hidden;
            ASSERT_TRUE(sendInOneRead({pair.first, pair.last, hidden ? "[MV00052]true" : "[MV00052]false"}));
            ASSERT_TRUE(m_loop.runUntil([&] { return closeButtonHidden() == hidden; }, 5.0));
            m_loop.runUntilIdle();
            EXPECT_EQ(m_main->isOpen(), !pair.locked);
            if (pair.locked) {
                notetool::MinimizeView* view = tab();
                ASSERT_NE(view, nullptr);
                EXPECT_TRUE(view->isLocked());
                EXPECT_EQ(openWindows(desktop::level::kPanel)[0]->frame(), kTab);
            } else {
                EXPECT_EQ(tab(), nullptr);
                EXPECT_EQ(frame(), kShort);
            }
        }
    }
}

// The teacher can lock and unlock the panel without end, each pair making a tab and closing it: the
// line each tab writes as it goes is held to a few a second, the last counting the rest.
TEST_F(TeacherOrderTest, LocksAndUnlocksWithoutEndLogAFewLinesASecond) {
    constexpr int kPairs = 100;
    constexpr std::size_t kFewLines = 5;
    connectConsole();
    bool hidden = false;
    const auto pair = [&] {
        hidden = !hidden;
        ASSERT_TRUE(sendInOneRead({"[MV00259]2", "[MV00259]0", hidden ? "[MV00052]true" : "[MV00052]false"}));
        ASSERT_TRUE(m_loop.runUntil([&] { return closeButtonHidden() == hidden; }, 5.0));
        m_loop.runUntilIdle();
        EXPECT_EQ(tab(), nullptr);
        // The closed tab goes when Qt's own loop comes round.
        QApplication::processEvents();
    };
    // Lines held back by earlier cases are told here, before the count starts.
    m_loop.advance(1.0);
    pair();
    m_loop.advance(1.0);
    const std::size_t before = m_logged.size();
    for (int i = 0; i < kPairs; ++i)
        pair();
    m_loop.advance(1.0);
    pair();
    const auto lines = agentLines(before);
    EXPECT_LT(lines.size(), kFewLines);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "[ZQ]MinimizeView Dealloc is called"), kPairs + 1u);
}

TEST_F(TeacherOrderTest, ALockWhileTheCaptureBoardOpensPlacesTheTabByTheBoardsPanel) {
    connectConsole();
    std::atomic<bool> lockArrived{false};
    platform::ObserverSet seen;
    seen.add(client::events::kNoteToolLock, nullptr, [&](const platform::Notification& note) {
        if (note.value(client::events::kKeyLock) == "1")
            lockArrived = true;
    });
    m_panel->onClickCaptureBoardMode();
    ASSERT_TRUE(m_console->sendText("[MV00259]2"));
    ASSERT_TRUE(m_loop.runUntil([&] { return lockArrived.load(); }, 5.0));
    m_loop.runUntilIdle();
    m_loop.advance(notetool::NoteToolView::kCaptureDelay);
    m_loop.runUntilIdle();
    EXPECT_FALSE(m_main->isOpen());
    ASSERT_NE(tab(), nullptr);
    EXPECT_TRUE(tab()->isLocked());
    EXPECT_EQ(openWindows(desktop::level::kPanel)[0]->frame(), kTab);
    EXPECT_TRUE(canvas());

    ASSERT_TRUE(m_console->sendText("[MV00259]0"));
    ASSERT_TRUE(m_loop.runUntil([&] { return m_main->isOpen(); }, 5.0));
    EXPECT_EQ(frame(), kTall);
}

// Two capture-board requests in quick succession with the teacher's lock between them: the first
// request's capture gives way to the second, and the lock's tab waits for the second board, so it
// is placed by the panel of the board that opens and the still holds no panel.
TEST_F(TeacherOrderTest, ALockBetweenTwoCaptureBoardRequestsWaitsForTheSecondBoard) {
    connectConsole();
    std::atomic<bool> lockArrived{false};
    platform::ObserverSet seen;
    seen.add(client::events::kNoteToolLock, nullptr, [&](const platform::Notification& note) {
        if (note.value(client::events::kKeyLock) == "1")
            lockArrived = true;
    });
    constexpr double kHalfDelay = notetool::NoteToolView::kCaptureDelay / 2;
    m_panel->onClickCaptureBoardMode();
    ASSERT_TRUE(m_console->sendText("[MV00259]2"));
    ASSERT_TRUE(m_loop.runUntil([&] { return lockArrived.load(); }, 5.0));
    m_loop.runUntilIdle();
    m_loop.advance(kHalfDelay);
    m_loop.runUntilIdle();
    m_panel->onClickCaptureBoardMode();
    // The first request's time comes: it captures nothing, and the lock still waits.
    m_loop.advance(kHalfDelay);
    m_loop.runUntilIdle();
    EXPECT_EQ(m_stillsTaken, 0);
    EXPECT_EQ(tab(), nullptr) << "the lock made its tab before the second board opened";
    EXPECT_FALSE(canvas());
    m_loop.advance(kHalfDelay);
    m_loop.runUntilIdle();
    EXPECT_EQ(m_stillsTaken, 1);
    EXPECT_FALSE(m_panelShownAtCapture);
    EXPECT_TRUE(canvas());
    EXPECT_FALSE(m_main->isOpen());
    ASSERT_NE(tab(), nullptr);
    EXPECT_TRUE(tab()->isLocked());
    EXPECT_EQ(openWindows(desktop::level::kPanel)[0]->frame(), kTab);
}

} // namespace
