// The login window under the offscreen platform: frame, fields from the settings, the input
// filter, the language's button images, and the window side of the login's outcomes.
#include "panel/LoginWindow.h"

#include "client/SettingsKeys.h"
#include "platform/LocalizedStrings.h"
#include "platform/UserDefaults.h"
#include "support/PanelTestSupport.h"

#include <QTest>

namespace {

class LoginWindowTest : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        platform::setPreferredLanguagesForTesting({"en-US"});
        platform::UserDefaults::resetForTesting();
        m_settings = platform::UserDefaults::suite();
        m_settings->setString(client::settings::kTeacherId, "T1");
        m_settings->setString(client::settings::kSlot, "7");
        m_settings->setString(client::settings::kAlias, "Kim");
        desktop::WindowRegistry::registerFactory(desktop::storyboard::kMainWindow, [this] {
            ++m_mainWindowsMade;
            return std::make_shared<desktop::WindowController>(std::make_unique<desktop::Window>(), nullptr);
        });
    }
    void TearDown() override {
        for (const char* key :
             {client::settings::kTeacherId, client::settings::kSlot, client::settings::kAlias})
            m_settings->remove(key);
        platform::setPreferredLanguagesForTesting({});
        WindowsTest::TearDown();
    }

    std::shared_ptr<desktop::WindowController> showLogin() {
        auto window = desktop::WindowRegistry::instantiate(desktop::storyboard::kLoginWindow);
        window->showWindow();
        return window;
    }
    static panel::LoginViewController* content(const std::shared_ptr<desktop::WindowController>& w) {
        return static_cast<panel::LoginViewController*>(w->contentViewController());
    }
    std::vector<desktop::Window*> messageBoxes() { return openWindows(desktop::level::kMessageBox); }

    std::shared_ptr<platform::UserDefaults> m_settings;
    int m_mainWindowsMade = 0;
};

TEST_F(LoginWindowTest, OpensRightOfCentreWithTheSavedFieldsAndRegistersWithTheDelegate) {
    auto login = showLogin();
    const desktop::Frame frame = login->window()->frame();
    EXPECT_EQ(frame.x, 720);
    EXPECT_EQ(frame.y, (900 - 24) * 0.5);
    EXPECT_EQ(frame.width, 480);
    EXPECT_EQ(frame.height, 414);
    auto* view = content(login);
    EXPECT_EQ(view->teacherIdField()->text(), "T1");
    EXPECT_EQ(view->slotField()->text(), "7");
    EXPECT_EQ(view->nameField()->text(), "Kim");
    EXPECT_FALSE(view->progressIndicator()->isVisible());
    EXPECT_EQ(view->connectImageName(), "login_btn_connect_en");
    EXPECT_EQ(panel::AppDelegate::shared().getLoginWindowController(), login);
}

TEST_F(LoginWindowTest, KoreanUsersGetTheKoreanButtonImages) {
    platform::setPreferredLanguagesForTesting({"ko-KR"});
    EXPECT_EQ(content(showLogin())->connectImageName(), "login_btn_connect_kr");
}

TEST_F(LoginWindowTest, FilterDropsTheCharacterThatBreaksTheFieldsRule) {
    auto* view = content(showLogin());
    QLineEdit* teacher = view->teacherIdField();
    teacher->setText("abcdefghijklmnopqrs"); // 19 units stay
    EXPECT_EQ(teacher->text().size(), 19);
    QTest::keyClick(teacher, Qt::Key_T);
    EXPECT_EQ(teacher->text(), "abcdefghijklmnopqrs");
    // A paste is cut by one unit only, as a keystroke would be.
    teacher->setText(QString(25, QChar('x')));
    EXPECT_EQ(teacher->text().size(), 24);

    QLineEdit* name = view->nameField();
    name->clear();
    QTest::keyClicks(name, "Kim,-Lee");
    EXPECT_EQ(name->text(), "KimLee");
    QTest::keyClicks(name, " J");
    EXPECT_EQ(name->text(), "KimLee J");

    QLineEdit* slot = view->slotField();
    slot->clear();
    QTest::keyClicks(slot, "1a23");
    EXPECT_EQ(slot->text(), "12");
}

TEST_F(LoginWindowTest, EmptyFieldOnReturnShowsTheMessageBoxAndStaysIdle) {
    auto* view = content(showLogin());
    view->nameField()->clear();
    QTest::keyClick(view->teacherIdField(), Qt::Key_Return);
    m_loop.runUntilIdle();
    const auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(labelText(boxes[0]).contains(
        QString::fromStdString(platform::localizedString("ZQ_VALIDATION_EMPTY_INPUT"))));
    EXPECT_FALSE(view->flow()->isLoginInProgress());
}

TEST_F(LoginWindowTest, ReturnStartsTheLoginWithTheStrippedTeacherId) {
    auto* view = content(showLogin());
    view->teacherIdField()->setText(" T 1 ");
    QTest::keyClick(view->nameField(), Qt::Key_Return);
    EXPECT_EQ(view->teacherIdField()->text(), "T1");
    EXPECT_TRUE(view->flow()->isLoginInProgress());
    EXPECT_TRUE(view->progressIndicator()->isVisible());
    EXPECT_EQ(view->statusField()->text().toStdString(),
              platform::localizedString("ZQ_MESSAGE_INITIALIZING"));
    // A second press while the attempt runs changes nothing.
    view->teacherIdField()->setText("T2");
    view->connectButton()->click();
    EXPECT_TRUE(view->flow()->isLoginInProgress());
}

TEST_F(LoginWindowTest, CancelAndTheStudentsCloseEndTheProcess) {
    auto login = showLogin();
    content(login)->cancelButton()->click();
    EXPECT_EQ(m_exits, std::vector<int>{0});

    m_exits.clear();
    auto again = showLogin();
    again->window()->close();
    EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(LoginWindowTest, OpeningTheMainWindowClosesTheLoginWithoutEndingTheProcess) {
    auto login = showLogin();
    content(login)->openMainWindow();
    EXPECT_FALSE(login->isOpen());
    EXPECT_TRUE(m_exits.empty());
    EXPECT_EQ(m_mainWindowsMade, 1);
    auto main = panel::AppDelegate::shared().getMainWindowController();
    ASSERT_TRUE(main);
    EXPECT_TRUE(main->isOpen());
}

} // namespace
