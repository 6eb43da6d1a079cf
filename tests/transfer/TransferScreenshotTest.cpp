// Draws the chat window with a conversation and the upload progress window half way on a real X
// server (Xvfb, started here) and writes what the screen shows as PNG files under the build folder,
// for a person to look at. Skips when Xvfb is not installed.
#include "chat/MessageWindow.h"
#include "client/ClientEvents.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/PanelWindows.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/desktop/WindowController.h"
#include "support/XvfbQtSession.h"
#include "transfer/PanelTransfers.h"
#include "transfer/TransferEvents.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

void post(const char* name, platform::Dictionary d) {
    platform::NotificationCenter::defaultCenter().post(name, nullptr, std::move(d));
}

TEST(TransferScreenshot, ChatConversationAndUploadProgressOnX11) {
    testsupport::XvfbQtSession session(OLVEX_TEST_CONFIG_HOME);
    if (!session.skipReason().empty())
        GTEST_SKIP() << session.skipReason();
    platform::setPreferredLanguagesForTesting({"en-US"});
    panel::registerPanelWindows();
    transfer::registerTransferWindows();
    chat::registerChatWindows();

    auto main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
    main->showWindow();
    post(client::events::kTeacherChat,
         {{client::events::kKeyChat, "Good morning! Open the worksheet, please."}});
    post(client::events::kTeacherChat, {{client::events::kKeyChat, "Send it back when you are done."}});
    ASSERT_TRUE(QTest::qWaitFor([] { return desktop::WindowRegistry::openCount() >= 2; }));
    auto chatWindow = panel::AppDelegate::shared().getMainViewController()->chatWindowController();
    ASSERT_TRUE(chatWindow);
    auto* chat = dynamic_cast<chat::MessageWindowViewController*>(chatWindow->contentViewController());
    ASSERT_NE(chat, nullptr);
    chat->sendToTeacherMsg("Good morning, I have it open.");
    // Enough lines for the log to scroll, so the dark scroller shows its knob.
    for (int step = 1; step <= 12; ++step)
        chat->callbackOnReceivedTeacherChat("Step " + std::to_string(step) + " of the worksheet.");
    chat->inputField()->setPlainText("Thank you, sending it now");

    auto progress = desktop::WindowRegistry::instantiate(desktop::storyboard::kFileUploaderWindow);
    progress->showWindow();
    post(transfer::events::kSendFileDataStart, {{transfer::events::kKeyFileName, "03_Kim_worksheet.pdf"},
                                                {transfer::events::kKeyFileMin, "0"},
                                                {transfer::events::kKeyFileMax, "8"}});
    post(transfer::events::kSendedServerFileData, {{transfer::events::kKeyFileName, "03_Kim_worksheet.pdf"},
                                                   {transfer::events::kKeyFileMin, "5"},
                                                   {transfer::events::kKeyFileMax, "8"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chatWindow->window()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress->window()));
    QTest::qWait(200);
    ASSERT_TRUE(session.saveScreen(OLVEX_SCREENSHOT_DIR, "chat-and-upload-progress.png"));
    chatWindow->window()->grab().save(QString(OLVEX_SCREENSHOT_DIR) + "/chat-window.png", "PNG");
    progress->window()->grab().save(QString(OLVEX_SCREENSHOT_DIR) + "/upload-progress-window.png", "PNG");

    desktop::WindowRegistry::closeAll();
    panel::AppDelegate::shared().resetForTesting();
    platform::setPreferredLanguagesForTesting({});
}

} // namespace
