#include "panel/CAlertWindow.h"
#include "panel/CGColorHex.h"
#include "panel/CRect.h"
#include "panel/RetinaDisplayIdentify.h"
#include "panel/ZQFile.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/desktop/Alert.h"
#include "platform/desktop/QtTestApp.h"
#include "platform/desktop/Window.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

int channel(double component) {
    return static_cast<int>(component * 255.0 + 0.5);
}

struct ColourCase {
    const char* name;
    QColor (*fn)(std::uint32_t);
    std::uint32_t value;
    int r, g, b;
};

TEST(CGColorHex, ChannelsAndWholeIntegerDarkening) {
    const std::vector<ColourCase> cases{
        {"plain", &CGColorHex::getCGColorHex, 0x1E558D, 0x1E, 0x55, 0x8D},
        {"ns", &CGColorHex::getNSColorHex, 0x1B1B1B, 0x1B, 0x1B, 0x1B},
        {"panel background", &CGColorHex::getCGColorHexByView, 0x1E558D, 0x0E, 0x3F, 0x81},
        {"draw view white", &CGColorHex::getCGColorHexByDrawView, 0xFFFFFF, 0xF8, 0xF8, 0xF8},
        // The subtraction borrows across channels: 0x100000 - 0x070707 = 0x08F8F9.
        {"borrow", &CGColorHex::getCGColorHexByDrawView, 0x100000, 0x08, 0xF8, 0xF9},
        // Below the constant the value wraps; only the low 24 bits are read.
        {"wrap", &CGColorHex::getCGColorHexByView, 0x000000, 0xEF, 0xE9, 0xF4},
        {"high byte ignored", &CGColorHex::getCGColorHex, 0xAB123456, 0x12, 0x34, 0x56},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QColor colour = c.fn(c.value);
        EXPECT_EQ(channel(colour.redF()), c.r);
        EXPECT_EQ(channel(colour.greenF()), c.g);
        EXPECT_EQ(channel(colour.blueF()), c.b);
        EXPECT_DOUBLE_EQ(colour.alphaF(), 1.0);
    }
}

TEST(CRect, WidthAndHeightAreSignedDifferences) {
    CRect rect;
    EXPECT_EQ(rect.getWidth(), 0);
    rect.left = 100;
    rect.right = 40;
    rect.top = 10;
    rect.bottom = 310;
    EXPECT_EQ(rect.getWidth(), -60);
    EXPECT_EQ(rect.getHeight(), 300);
    rect.left = std::numeric_limits<std::int64_t>::min();
    rect.right = 1;
    EXPECT_EQ(rect.getWidth(), std::numeric_limits<std::int64_t>::min() + 1); // wraps, no UB
}

TEST(RetinaDisplayIdentify, AnyScreenAtScaleTwo) {
    platform::screens::setInfo({1440, 900, 24, {1.0, 2.0}});
    EXPECT_TRUE(RetinaDisplayIdentify::isRetinaDisplayOrHdpi());
    platform::screens::setInfo({1440, 900, 24, {1.0}});
    EXPECT_FALSE(RetinaDisplayIdentify::isRetinaDisplayOrHdpi());
    platform::screens::setInfo({});
    EXPECT_FALSE(RetinaDisplayIdentify::isRetinaDisplayOrHdpi());
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = std::filesystem::temp_directory_path() /
                 ("olvex-zqfile-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root);
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        platform::UserDefaults::resetForTesting();
    }
    void TearDown() override {
        platform::UserDefaults::suite()->remove(ZQFile::kTransferPathKey);
        platform::UserDefaults::resetForTesting();
        std::filesystem::remove_all(m_root);
    }
    std::string root() const { return m_root.string(); }

private:
    std::filesystem::path m_root;
};

TEST_F(Folders, TransferPathIsDesktopOnlyForExactDeskTop) {
    testing_support::qtApp();
    const auto suite = platform::UserDefaults::suite();
    struct Case {
        const char* value; // nullptr: key absent
        bool desktop;
    };
    for (const Case& c :
         {Case{nullptr, false}, Case{"DeskTop", true}, Case{"Desktop", false}, Case{"desktop", false},
          Case{"0", false}, Case{"default", false}, Case{"DeskTop ", false}}) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        if (c.value)
            suite->setString(ZQFile::kTransferPathKey, c.value);
        else
            suite->remove(ZQFile::kTransferPathKey);
        EXPECT_EQ(ZQFile::getTransferPath(),
                  c.desktop ? ZQFile::getDesktopPath() : ZQFile::getDocumentPath());
    }
    EXPECT_FALSE(ZQFile::getDocumentPath().empty());
}

TEST_F(Folders, NewDirMakesParentsAndIsFileSeesFoldersAndFiles) {
    EXPECT_FALSE(ZQFile::isFile(root(), "OLVEX"));
    EXPECT_TRUE(ZQFile::NewDir(root(), "OLVEX/2024-03-07"));
    EXPECT_TRUE(ZQFile::isFile(root(), "OLVEX"));
    EXPECT_TRUE(ZQFile::isFile(root(), "OLVEX/2024-03-07"));
    EXPECT_TRUE(ZQFile::NewDir(root(), "OLVEX/2024-03-07")); // already there

    std::ofstream(root() + "/plain").put('x');
    EXPECT_TRUE(ZQFile::isFile(root(), "plain"));
    platform::setLogSink([](const std::string&) {});
    // A file in the way is not a folder: the answer is NO, not a false success.
    EXPECT_FALSE(ZQFile::NewDir(root(), "plain"));
    EXPECT_FALSE(ZQFile::NewDir(root(), "plain/below"));
    platform::setLogSink({});
}

class Alerts : public ::testing::Test {
protected:
    void TearDown() override { platform::setPreferredLanguagesForTesting({}); }
};

TEST_F(Alerts, CaptionsAreKoreanOnlyForKo) {
    struct Case {
        const char* language;
        bool english;
    };
    for (const Case& c : {Case{"ko-KR", false}, Case{"ko", false}, Case{"en-US", true}, Case{"ja", true},
                          Case{"zh-Hans", true}, Case{"kok", false}}) {
        SCOPED_TRACE(c.language);
        platform::setPreferredLanguagesForTesting({c.language, "ko-KR"});
        EXPECT_EQ(CAlertWindow::isEnglish(), c.english);
        EXPECT_EQ(CAlertWindow::cancelCaption(), c.english ? "CANCEL" : "아니오");
        EXPECT_EQ(CAlertWindow::confirmCaption(), c.english ? "OK" : "예");
        EXPECT_EQ(CAlertWindow::oneButtonCaption(), c.english ? "OK" : "확인");
    }
}

TEST_F(Alerts, SecondButtonRunsOkEverythingElseCancel) {
    std::string ran;
    auto ok = [&] { ran += "ok"; };
    auto cancel = [&] { ran += "cancel"; };
    for (int response : {1001, 1000, desktop::kAbortResponse, 1002}) {
        ran.clear();
        CAlertWindow::dispatchTwoButtonResponse(response, ok, cancel);
        EXPECT_EQ(ran, response == 1001 ? "ok" : "cancel") << response;
    }
    CAlertWindow::dispatchTwoButtonResponse(1001, {}, cancel); // an absent block is skipped
}

// Presses the caption on the alert about to run modally and records the captions shown.
void pressWhenShown(const QString& caption, QStringList& shown) {
    QTimer::singleShot(0, [caption, &shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAbstractButton* target = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            shown << button->text();
            if (button->text() == caption)
                target = button;
        }
        ASSERT_NE(target, nullptr);
        target->click();
    });
}

TEST_F(Alerts, ModalFormsRunTheirBlocks) {
    testing_support::qtApp();
    platform::setPreferredLanguagesForTesting({"ko-KR"});
    std::string ran;
    QStringList shown;
    pressWhenShown(QString::fromUtf8("예"), shown);
    CAlertWindow::createAlertModal(
        "알림", "?", [&] { ran = "ok"; }, [&] { ran = "cancel"; });
    EXPECT_EQ(ran, "ok");
    EXPECT_EQ(shown, (QStringList{QString::fromUtf8("아니오"), QString::fromUtf8("예")}));

    platform::setPreferredLanguagesForTesting({"en-US"});
    shown.clear();
    pressWhenShown("CANCEL", shown);
    CAlertWindow::createAlertModal(
        "Notice", "?", [&] { ran = "ok"; }, [&] { ran = "cancel"; });
    EXPECT_EQ(ran, "cancel");

    ran.clear();
    shown.clear();
    pressWhenShown("OK", shown);
    CAlertWindow::createAlertModalOne("Notice", "Failed", [&] { ran = "one"; });
    EXPECT_EQ(ran, "one");
    EXPECT_EQ(shown, QStringList{"OK"});
}

TEST_F(Alerts, SheetOnWindowRunsBlockWhenAnswered) {
    testing_support::qtApp();
    platform::setPreferredLanguagesForTesting({"en"});
    desktop::Window window;
    window.orderFront();
    std::string ran;
    CAlertWindow::createAlertWindow(
        &window, "Notice", "Save?", [&] { ran = "ok"; }, [&] { ran = "cancel"; });
    EXPECT_TRUE(ran.empty());
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    box->buttons().at(0)->click();
    EXPECT_EQ(ran, "cancel");
    window.closeFromCode();
}

} // namespace
