#include "panel/FloatText.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "platform/NotificationCenter.h"
#include "support/PanelTestSupport.h"

#include <QTest>
#include <cmath>
#include <memory>

namespace {

using panel::MessageboxViewController;

class Messagebox : public paneltest::WindowsTest {
protected:
    // The contract's two steps, as a poster on the main thread runs them.
    std::shared_ptr<desktop::WindowController> open(platform::Dictionary message) {
        auto box = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageboxWindow);
        box->showWindow();
        platform::NotificationCenter::defaultCenter().post(panel::events::kMessage, nullptr,
                                                           std::move(message));
        return box;
    }
    static MessageboxViewController* content(const std::shared_ptr<desktop::WindowController>& box) {
        return static_cast<MessageboxViewController*>(box->contentViewController());
    }
};

TEST(FloatText, WritesSixDecimalsAndReadsLeadingNumbers) {
    EXPECT_EQ(panel::formatFloat(3.2f), "3.200000");
    EXPECT_EQ(panel::formatFloat(0.0f), "0.000000");
    EXPECT_EQ(panel::formatFloat(1255.0), "1255.000000");
    EXPECT_FLOAT_EQ(panel::floatValue(" 2.5xyz"), 2.5f);
    EXPECT_FLOAT_EQ(panel::floatValue("+4"), 4.0f);
    EXPECT_FLOAT_EQ(panel::floatValue("abc"), 0.0f);
    EXPECT_FLOAT_EQ(panel::floatValue(""), 0.0f);
    EXPECT_FLOAT_EQ(panel::floatValue("1e-60"), 0.0f);
    EXPECT_TRUE(std::isinf(panel::floatValue("1e60")));
}

TEST(MessageboxDelay, CloseTimeTextsGiveTheirTimeOuts) {
    struct Case {
        const char* closeTime;
        double seconds; // < 0: no time-out
    };
    // 3.2 in single precision times 10^9, truncated to whole nanoseconds.
    const double threePointTwo = static_cast<double>(static_cast<std::int64_t>(3.2f * 1e9f)) / 1e9;
    for (const Case& c : {Case{"0.000000", -1.0}, Case{"0", 0.0}, Case{"", 0.0}, Case{"abc", 0.0},
                          Case{"-5.000000", 0.0}, Case{"nan", 0.0}, Case{"3.200000", threePointTwo},
                          Case{"3", 3.0}, Case{"1e30", -1.0}, Case{"inf", -1.0}}) {
        SCOPED_TRACE(c.closeTime);
        EXPECT_DOUBLE_EQ(MessageboxViewController::autoCloseDelay(c.closeTime), c.seconds);
    }
}

TEST_F(Messagebox, NeverClosesWithSixZeroDecimals) {
    auto box = open({{"message", "stay"}, {"closeTime", "0.000000"}, {"msgLv", "0"}, {"hidden", "1"}});
    m_loop.advance(24 * 3600);
    EXPECT_TRUE(box->isOpen());
    EXPECT_EQ(labelText(box->window()), "stay");
    EXPECT_FALSE(button(box->window())->isVisibleTo(box->window()));
    EXPECT_EQ(content(box)->iconName(), "messagebox_info");
    EXPECT_EQ(box->window()->level(), desktop::level::kMessageBox);
    EXPECT_TRUE(m_exits.empty());
}

TEST_F(Messagebox, ZeroWithoutDecimalsOrMissingTimeClosesAtOnce) {
    auto zero = open({{"message", "a"}, {"closeTime", "0"}});
    m_loop.runUntilIdle();
    EXPECT_FALSE(zero->isOpen());
    auto missing = open({{"message", "b"}});
    m_loop.runUntilIdle();
    EXPECT_FALSE(missing->isOpen());
    // No level: caution; no hidden: the button shows; no terminate: closing ends nothing.
    EXPECT_EQ(content(missing)->iconName(), "messagebox_caution");
    EXPECT_TRUE(button(missing->window())->isVisibleTo(missing->window()));
    EXPECT_TRUE(m_exits.empty());
}

TEST_F(Messagebox, TerminatingBoxEndsTheProcessAtItsTimeOutWithoutAButton) {
    auto box = open(
        {{"message", "bye"}, {"closeTime", "3.200000"}, {"msgLv", "1"}, {"hidden", "1"}, {"terminate", "1"}});
    m_loop.advance(3.1);
    EXPECT_TRUE(m_exits.empty());
    EXPECT_TRUE(box->isOpen());
    m_loop.advance(0.2);
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(Messagebox, TimeOutRunsEvenWhenTheWindowWasClosedFirst) {
    auto box = open({{"message", "bye"}, {"closeTime", "3.200000"}, {"terminate", "1"}});
    box->close();
    box.reset(); // nobody holds the box but its pending time-out
    QApplication::processEvents();
    m_loop.advance(5.0);
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(Messagebox, OkEndsTheProcessOnlyForATerminatingBox) {
    auto plain = open({{"message", "plain"}, {"closeTime", "0.000000"}});
    QTest::mouseClick(button(plain->window()), Qt::LeftButton);
    EXPECT_FALSE(plain->isOpen());
    EXPECT_TRUE(m_exits.empty());
    auto ending = open({{"message", "end"}, {"closeTime", "0.000000"}, {"terminate", "1"}});
    // The box the student closed takes no later posting.
    EXPECT_EQ(labelText(plain->window()), "plain");
    EXPECT_FALSE(content(plain)->getTerminate());
    QTest::mouseClick(button(ending->window()), Qt::LeftButton);
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(Messagebox, TakeOverShowsTheNewTextButKeepsTheTerminateFlag) {
    auto first =
        open({{"message", "link lost"}, {"closeTime", "0.000000"}, {"hidden", "1"}, {"terminate", "1"}});
    auto second =
        open({{"message", "file received"}, {"closeTime", "0.000000"}, {"msgLv", "0"}, {"terminate", "0"}});
    EXPECT_EQ(labelText(first->window()), "file received");
    EXPECT_EQ(content(first)->iconName(), "messagebox_info");
    EXPECT_TRUE(button(first->window())->isVisibleTo(first->window()));
    EXPECT_TRUE(content(first)->getTerminate());
    EXPECT_FALSE(content(second)->getTerminate());
    QTest::mouseClick(button(second->window()), Qt::LeftButton);
    EXPECT_TRUE(m_exits.empty());
    QTest::mouseClick(button(first->window()), Qt::LeftButton);
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(Messagebox, TwoPostingsASecondApartCloseAtThreeAndFourSeconds) {
    auto first = open({{"message", "one"}, {"closeTime", "3.000000"}});
    m_loop.advance(1.0);
    auto second = open({{"message", "two"}, {"closeTime", "3.000000"}});
    EXPECT_EQ(labelText(first->window()), "two");
    m_loop.advance(1.9);
    EXPECT_TRUE(first->isOpen());
    m_loop.advance(0.2); // 3.1 s
    EXPECT_FALSE(first->isOpen());
    EXPECT_TRUE(second->isOpen());
    m_loop.advance(1.0); // 4.1 s
    EXPECT_FALSE(second->isOpen());
}

TEST_F(Messagebox, ABoxOpenedForItsOwnMessageLeavesTheOthersTheirsButTakesLaterPostings) {
    auto first =
        open({{"message", "link lost"}, {"closeTime", "0.000000"}, {"hidden", "1"}, {"terminate", "1"}});
    auto own =
        panel::openMessagebox({{"message", "file received"}, {"closeTime", "3.000000"}, {"msgLv", "0"}});
    ASSERT_TRUE(own);
    EXPECT_TRUE(own->isOpen());
    EXPECT_EQ(labelText(own->window()), "file received");
    EXPECT_EQ(content(own)->iconName(), "messagebox_info");
    EXPECT_FALSE(content(own)->getTerminate());
    EXPECT_EQ(labelText(first->window()), "link lost");
    EXPECT_EQ(content(first)->iconName(), "messagebox_caution");
    // Its own time-out, once.
    m_loop.advance(3.1);
    EXPECT_FALSE(own->isOpen());
    EXPECT_TRUE(first->isOpen());
    EXPECT_TRUE(m_exits.empty());
    auto later = panel::openMessagebox({{"message", "another"}, {"closeTime", "0.000000"}});
    open({{"message", "teacher"}, {"closeTime", "0.000000"}});
    EXPECT_EQ(labelText(later->window()), "teacher");
    EXPECT_EQ(labelText(first->window()), "teacher");
}

TEST_F(Messagebox, ShowMessageboxQueuesTheContractFromAnyThread) {
    panel::showMessagebox("queued", 0.0f, 1, 0, 1);
    EXPECT_TRUE(openWindows(desktop::level::kMessageBox).empty());
    m_loop.runUntilIdle();
    const auto boxes = openWindows(desktop::level::kMessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(labelText(boxes[0]), "queued");
    // "0.000000" keeps it; OK ends the process because exit was 1.
    m_loop.advance(60);
    QTest::mouseClick(button(boxes[0]), Qt::LeftButton);
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

} // namespace
