// The chat window as the main view controller opens it for the teacher's lines: lines that come
// before it has opened, the header's time format, "-1", the student's line as posted to the client
// object, the length limit, and a fresh log after closing.
#include "chat/MessageWindow.h"
#include "chat/NSCustomScroller.h"
#include "client/ClientEvents.h"
#include "panel/MainViewController.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "support/PanelTestSupport.h"

#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>

namespace {

using chat::MessageWindowViewController;

class ChatWindow : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        m_main->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(m_hub);
        m_observers.add(client::events::kStudentChat, nullptr, [this](const platform::Notification& n) {
            m_sent.push_back(n.dictionary()->at(client::events::kKeyChat));
        });
    }
    void TearDown() override {
        m_observers.removeAll();
        m_hub.reset();
        m_main.reset();
        WindowsTest::TearDown();
    }
    static void teacher(const std::string& text) {
        platform::NotificationCenter::defaultCenter().post(
            client::events::kTeacherChat, nullptr, platform::Dictionary{{client::events::kKeyChat, text}});
    }
    MessageWindowViewController* chat() {
        auto controller = m_hub->chatWindowController();
        return controller && controller->isOpen()
                   ? dynamic_cast<MessageWindowViewController*>(controller->contentViewController())
                   : nullptr;
    }
    std::string log() { return chat()->logView()->toPlainText().toStdString(); }
    static std::size_t occurrences(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    std::shared_ptr<desktop::WindowController> m_main;
    std::shared_ptr<panel::MainViewController> m_hub;
    platform::ObserverSet m_observers;
    std::vector<std::string> m_sent;
};

TEST_F(ChatWindow, TwoLinesBeforeTheWindowOpensAreBothShownOnce) {
    teacher("first line");
    teacher("second line");
    EXPECT_EQ(chat(), nullptr); // nothing opens off the main queue
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    EXPECT_TRUE(m_hub->isOpenedChatView());
    EXPECT_EQ(openWindows(desktop::level::kPanel).size(), 2u); // the panel and the chat
    EXPECT_EQ(occurrences(log(), "first line"), 1u);
    EXPECT_EQ(occurrences(log(), "second line"), 1u);
    EXPECT_EQ(occurrences(log(), "] From Olvex Teacher\n"), 2u);
    EXPECT_LT(log().find("first line"), log().find("second line"));
}

TEST_F(ChatWindow, MinusOneIsNeitherShownNorOpensTheWindow) {
    teacher("-1");
    m_loop.runUntilIdle();
    EXPECT_EQ(chat(), nullptr);
    EXPECT_FALSE(m_hub->isOpenedChatView());
    teacher("hello");
    teacher("-1");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    EXPECT_EQ(occurrences(log(), "From Olvex Teacher"), 1u);
    EXPECT_EQ(log().find("\n-1\n"), std::string::npos);
}

TEST_F(ChatWindow, TheHeaderCarriesTheLocalTimeWithAnUnpaddedHour) {
    teacher("opening");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    chat()->setClock([] {
        std::tm at{};
        at.tm_year = 2024 - 1900;
        at.tm_mon = 2;
        at.tm_mday = 7;
        at.tm_hour = 9;
        at.tm_min = 5;
        at.tm_sec = 3;
        return at;
    });
    teacher("at five past nine");
    m_loop.runUntilIdle();
    EXPECT_NE(log().find("[2024-03-07 9:05:03] From Olvex Teacher\nat five past nine\n"), std::string::npos);
}

TEST_F(ChatWindow, TheStudentsLineIsLoggedAndPostedWithWidenedCommas) {
    teacher("question?");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    chat()->inputField()->setPlainText("a,b");
    QTest::keyClick(chat()->inputField(), Qt::Key_Return);
    EXPECT_EQ(m_sent, std::vector<std::string>{"a&comma;b\n"});
    EXPECT_NE(log().find("Write to Teacher:\na,b\n\n"), std::string::npos);
    EXPECT_TRUE(chat()->inputField()->toPlainText().isEmpty());
    chat()->sendToTeacherMsg(""); // an empty line sends nothing
    EXPECT_EQ(m_sent.size(), 1u);
}

TEST_F(ChatWindow, ALineOf512UnitsIsRefusedAndKeptAndOneOf511CommasIsSent) {
    teacher("write a lot");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    // 511 letters and one character beyond the basic plane: 513 UTF-16 units.
    const std::string tooLong = std::string(511, 'x') + "\xF0\x9F\x98\x80";
    for (const std::string& refused : {std::string(512, ','), tooLong}) {
        chat()->inputField()->setPlainText(QString::fromStdString(refused));
        chat()->onClickSend();
        m_loop.runUntilIdle();
        EXPECT_TRUE(m_sent.empty());
        EXPECT_EQ(chat()->inputField()->toPlainText().toStdString(), refused);
        const auto boxes = openWindows(desktop::level::kMessageBox);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(labelText(boxes.back()).toStdString(), platform::localizedString("ZQ_VALIDATION_MAX_512"));
        // A caution that waits for the student's OK.
        EXPECT_EQ(boxIcon(boxes.back()), "messagebox_caution");
        EXPECT_TRUE(button(boxes.back())->isVisibleTo(boxes.back()));
        m_loop.advance(60);
        EXPECT_TRUE(boxes.back()->isVisible());
    }
    // The longest line, every unit widened seven times on the way out, is sent.
    chat()->inputField()->setPlainText(QString(511, QChar(',')));
    QTest::keyClick(chat()->inputField(), Qt::Key_Return);
    std::string widened;
    for (int i = 0; i < 511; ++i)
        widened += "&comma;";
    EXPECT_EQ(m_sent, std::vector<std::string>{widened + "\n"});
    EXPECT_TRUE(chat()->inputField()->toPlainText().isEmpty());
}

TEST_F(ChatWindow, CloseAndReopenStartsAnEmptyLog) {
    teacher("before");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    chat()->closeButton()->click();
    EXPECT_EQ(chat(), nullptr);
    EXPECT_FALSE(m_hub->isOpenedChatView());
    teacher("after");
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    EXPECT_EQ(log().find("before"), std::string::npos);
    EXPECT_NE(log().find("after"), std::string::npos);
}

TEST_F(ChatWindow, LaterTeacherLinesFollowATallLogToItsEndAndANewWindowStartsOver) {
    std::string tall;
    for (int i = 0; i < 40; ++i)
        tall += "line " + std::to_string(i) + "\n";
    auto bar = [this] { return chat()->logView()->verticalScrollBar(); };
    for (int window = 0; window < 2; ++window) {
        teacher(tall); // opens the window: its first line is never followed by a scroll
        m_loop.runUntilIdle();
        ASSERT_NE(chat(), nullptr);
        ASSERT_GE(chat()->logView()->document()->size().height(),
                  MessageWindowViewController::kScrollMinHeight);
        ASSERT_GT(bar()->maximum(), 0);
        EXPECT_EQ(bar()->value(), 0) << "window " << window;
        teacher("next");
        m_loop.runUntilIdle();
        EXPECT_EQ(bar()->value(), bar()->maximum()) << "window " << window;
        bar()->setValue(0);
        chat()->sendToTeacherMsg("mine"); // the student's own lines never scroll
        EXPECT_EQ(bar()->value(), 0) << "window " << window;
        chat()->closeButton()->click();
        ASSERT_EQ(chat(), nullptr);
    }
}

// The teacher can send lines without end: the log keeps its newest paragraphs.
TEST_F(ChatWindow, TheLogKeepsItsNewestParagraphs) {
    constexpr int kLines = 1200;
    for (int i = 0; i < kLines; ++i) {
        teacher("line " + std::to_string(i) + ".");
        m_loop.runUntilIdle();
    }
    ASSERT_NE(chat(), nullptr);
    EXPECT_LE(chat()->logView()->document()->blockCount(), MessageWindowViewController::kMaxLogBlocks);
    EXPECT_EQ(occurrences(log(), "line " + std::to_string(kLines - 1) + "."), 1u);
    EXPECT_EQ(occurrences(log(), "line 0."), 0u);
}

// Lines that come faster than the window shows them wait behind one queued block, no more than the
// log could show; the newest are shown in order.
TEST_F(ChatWindow, AFloodOfTeacherLinesWaitsBehindOneBlock) {
    constexpr int kLines = 10'000;
    for (int i = 0; i < kLines; ++i)
        teacher("line " + std::to_string(i) + ".");
    ASSERT_LE(m_loop.pendingCount(), 1u);
    m_loop.runUntilIdle();
    ASSERT_NE(chat(), nullptr);
    const std::string shown = log();
    EXPECT_EQ(occurrences(shown, "line " + std::to_string(kLines - 1) + "."), 1u);
    EXPECT_LT(shown.find("line " + std::to_string(kLines - 2) + "."),
              shown.find("line " + std::to_string(kLines - 1) + "."));
    EXPECT_EQ(occurrences(shown, "line 0."), 0u);
    EXPECT_EQ(occurrences(shown, "] From Olvex Teacher\n"),
              static_cast<std::size_t>(MessageWindowViewController::kMaxShownTeacherLines));
}

TEST_F(ChatWindow, TheDarkScrollerShowsItsTrackFirstAndThenANarrowerKnob) {
    chat::NSCustomScroller scroller(Qt::Vertical);
    scroller.resize(14, 200);
    scroller.setRange(0, 100);
    scroller.setPageStep(50);
    scroller.grab();
    EXPECT_FALSE(scroller.drewKnob());
    scroller.grab();
    EXPECT_TRUE(scroller.drewKnob());
    EXPECT_FALSE(scroller.isHorizontal());
    QStyleOptionSlider option;
    option.initFrom(&scroller);
    option.orientation = Qt::Vertical;
    option.minimum = 0;
    option.maximum = 100;
    option.pageStep = 50;
    option.rect = scroller.rect();
    const QRect knob = scroller.style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                        QStyle::SC_ScrollBarSlider, &scroller);
    EXPECT_EQ(scroller.knobRect().width(), knob.width() - 6);
    EXPECT_EQ(scroller.knobRect().height(), knob.height());
}

} // namespace
