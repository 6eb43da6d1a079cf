// The note-tool suites' fixture: the panel's windows and the note tool's registered, the main panel
// open with its note-tool panel, a scratch documents folder, a still of the screen that records
// whether the panel was hidden when it was taken, and (on request) a scripted console on the direct
// link. Offscreen, on the virtual clock.
#pragma once

#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "notetool/CanvasWindow.h"
#include "notetool/NoteToolView.h"
#include "notetool/NoteToolWindows.h"
#include "panel/MainViewController.h"
#include "platform/UserDefaults.h"
#include "support/ClientTeardown.h"
#include "support/ConsolePeer.h"
#include "support/PanelTestSupport.h"
#include "transport/TCPServerClient.h"

#include <QMessageBox>
#include <cstdlib>
#include <filesystem>

namespace notetooltest {

class NoteToolTest : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        char pattern[] = "/tmp/olvex-notetool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = pattern;
        const char* home = std::getenv("HOME");
        m_oldHome = home ? home : "";
        setenv("HOME", m_home.c_str(), 1);
        panel::AppDelegate::shared().applicationDidFinishLaunching();
        notetool::registerNoteToolWindows();
        panel::MainViewController::setScreenStillSource([this] {
            m_stillsTaken++;
            m_panelShownAtCapture = m_main && m_main->window()->isVisible();
            QImage still(1440, 900, QImage::Format_RGB32);
            still.fill(QColor(0, 0, 255));
            return still;
        });
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        panel::AppDelegate::shared().setMainWindowController(m_main);
        m_main->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
        m_panel = notetool::NoteToolView::in(m_main->window());
        ASSERT_NE(m_panel, nullptr);
    }
    void TearDown() override {
        testsupport::endClient(m_client);
        if (m_console)
            m_console->stop();
        m_hub.reset();
        m_main.reset();
        WindowsTest::TearDown();
        panel::MainViewController::setScreenStillSource({});
        setenv("HOME", m_oldHome.c_str(), 1);
        std::filesystem::remove_all(m_home);
    }

    // A console on the direct link, handed to the hub as the login's client.
    void connectConsole() {
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setFreeSlots(std::nullopt); // its handler waits a second on the main clock
        ASSERT_TRUE(m_console->start());
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kServerIp, m_console->host());
        settings->setString(client::settings::kServerPort, std::to_string(m_console->port()));
        m_client = client::StudentClient::create();
        ASSERT_TRUE(m_client->connectToServer());
        ASSERT_TRUE(m_console->waitForLinks(1));
        m_hub->setStudentClient(m_client);
    }

    QPushButton* outlet(const char* name) const { return m_panel->outlet(name); }
    std::string image(const char* name) const { return notetool::NoteToolView::imageOf(outlet(name)); }
    desktop::Frame frame() const { return m_main->window()->frame(); }
    static void post(const char* name, platform::Dictionary d = {}) {
        platform::NotificationCenter::defaultCenter().post(name, nullptr, std::move(d));
    }
    std::shared_ptr<desktop::WindowController> canvas() const {
        return panel::AppDelegate::shared().getCanvasWindowController();
    }
    notetool::CanvasViewController* canvasContent() const {
        auto c = canvas();
        return c ? dynamic_cast<notetool::CanvasViewController*>(c->contentViewController()) : nullptr;
    }
    // The open question on the centre window: answers it with the button at index (0 cancel, 1 OK).
    bool answer(int button) {
        // An answered question lingers hidden until Qt deletes it.
        for (auto* box : panel::AppDelegate::shared().getCenterHidedWindow()->findChildren<QMessageBox*>()) {
            if (!box->isVisible())
                continue;
            box->buttons().at(button)->click();
            QApplication::processEvents();
            return true;
        }
        return false;
    }
    void openWhiteBoard() {
        m_panel->onClickWhiteBoardMode();
        m_loop.runUntilIdle();
    }
    void openCaptureBoard() {
        m_panel->onClickCaptureBoardMode();
        m_loop.advance(notetool::NoteToolView::kCaptureDelay);
        m_loop.runUntilIdle();
    }

    std::string m_home;
    std::string m_oldHome;
    std::shared_ptr<desktop::WindowController> m_main;
    std::shared_ptr<panel::MainViewController> m_hub;
    notetool::NoteToolView* m_panel = nullptr;
    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::shared_ptr<client::StudentClient> m_client;
    int m_stillsTaken = 0;
    bool m_panelShownAtCapture = true;
};

} // namespace notetooltest
