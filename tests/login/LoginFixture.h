// Shared set-up of the login suites: a virtual main clock, a private notification centre, clean
// settings and records, English texts, a recorded log and terminate hook, a recording login view,
// and the scripted lookup service, relay server and console on loopback.
#pragma once

#include "login/LoginFlow.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/ConsolePeer.h"
#include "support/HttpsLookupPeer.h"
#include "support/RelayPeer.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace logintest {

// Real seconds a test waits for work of the peers and the connect workers.
constexpr double kWallWait = 10.0;

// Records what the flow asks of the window. Main thread only.
class RecordingLoginView : public login::LoginView {
public:
    struct Alert {
        std::string title;
        std::string content;
        std::function<void()> ok;
    };

    void setTeacherIdText(const std::string& text) override { teacherIdText = text; }
    void setStatusText(const std::string& text) override { statuses.push_back(text); }
    void setProgressEnabled(bool enabled) override { progress = enabled; }
    void showMessagebox(const std::string& text) override { messages.push_back(text); }
    void showAlert(const std::string& title, const std::string& content, std::function<void()> ok) override {
        alert = Alert{title, content, std::move(ok)};
    }
    void openMainWindow() override { ++mainWindowsOpened; }

    std::string teacherIdText;
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    bool progress = false;
    std::optional<Alert> alert;
    int mainWindowsOpened = 0;
};

class LoginFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The lookup answers with the relay server's address (Lf lines after an empty first line).
    void answerLookupWith(
        const testsupport::HttpsLookupPeer::Fields& fields,
        testsupport::HttpsLookupPeer::LineEnding ending = testsupport::HttpsLookupPeer::LineEnding::Lf,
        bool leadingEmptyLine = true);
    void answerLookupWithRelayServer();
    // The relay server sends the console's address (and optionally a relay to fall back on).
    void scriptRelayServer(const std::string& teacherPort, std::optional<std::uint16_t> fallbackPort = {});

    // Presses login, lets the lookup delay pass and runs the main queue until pred holds.
    void pressLogin(const std::string& teacherId = "T1", const std::string& name = "Kim",
                    const std::string& slot = "2");
    bool runUntil(const std::function<bool()>& pred, double wallSeconds = kWallWait) {
        return m_loop.runUntil(pred, wallSeconds);
    }
    bool idleAgain() {
        return runUntil([this] { return !m_flow->isLoginInProgress(); });
    }
    std::vector<std::string> logLines() const;
    bool logged(const std::string& line) const;

    platform::ManualRunLoop m_loop;
    platform::NotificationCenter m_center;
    std::shared_ptr<platform::UserDefaults> m_settings;
    RecordingLoginView m_view;
    std::shared_ptr<login::LoginFlow> m_flow;
    testsupport::HttpsLookupPeer m_lookup;
    testsupport::RelayPeer m_relayServer{testsupport::RelayPeer::Role::Login};
    testsupport::ConsolePeer m_console;
    std::optional<int> m_terminateStatus;

private:
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

// A loopback port nobody listens on.
std::uint16_t closedPort();

} // namespace logintest
