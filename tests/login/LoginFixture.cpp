#include "LoginFixture.h"

#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentSessionInfo.h"
#include "login/RSInfoLookup.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"
#include "support/PeerSocket.h"

#include <algorithm>

namespace logintest {

using testsupport::HttpsLookupPeer;

std::uint16_t closedPort() {
    static const testsupport::RefusedPort refused; // held for the whole run
    return refused.port();
}

void LoginFixture::SetUp() {
    m_loop.install();
    platform::setPreferredLanguagesForTesting({"en-US"});
    platform::setLogSink([this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_log.push_back(line);
    });
    platform::setTerminateHook([this](int status) { m_terminateStatus = status; });
    client::GlobalConfig::shared().resetForTesting();
    client::gStudentSessionInfo().resetForTesting();
    platform::UserDefaults::resetForTesting();
    m_settings = platform::UserDefaults::suite();
    for (const char* key : {client::settings::kServerIp, client::settings::kServerPort,
                            client::settings::kSlot, client::settings::kAlias, client::settings::kTeacherId})
        m_settings->remove(key);

    ASSERT_TRUE(m_lookup.start());
    ASSERT_TRUE(m_relayServer.start());
    ASSERT_TRUE(m_console.start());
    m_settings->setString(login::kLookupBaseURLKey, m_lookup.baseUrl());
    m_flow = login::LoginFlow::create(m_view, m_center);
    m_flow->initValue();
}

void LoginFixture::TearDown() {
    m_flow.reset();
    m_console.stop();
    m_relayServer.stop();
    m_lookup.stop();
    m_settings->remove(login::kLookupBaseURLKey);
    platform::setTerminateHook({});
    platform::setLogSink({});
    platform::setPreferredLanguagesForTesting({});
}

void LoginFixture::answerLookupWith(const HttpsLookupPeer::Fields& fields, HttpsLookupPeer::LineEnding ending,
                                    bool leadingEmptyLine) {
    auto body = HttpsLookupPeer::lookupAnswer(fields, ending, leadingEmptyLine);
    ASSERT_TRUE(body);
    m_lookup.setResponse(HttpsLookupPeer::kStatusOk, *body);
}

void LoginFixture::answerLookupWithRelayServer() {
    answerLookupWith({{"result", "true"},
                      {"code", "0"},
                      {"rsip", "127.0.0.1"},
                      {"rsport", std::to_string(m_relayServer.port())}});
}

void LoginFixture::scriptRelayServer(const std::string& teacherPort,
                                     std::optional<std::uint16_t> fallbackPort) {
    testsupport::RelayPeer::LoginScript script;
    script.teacherIp = "127.0.0.1";
    script.teacherPort = teacherPort;
    if (fallbackPort) {
        script.fallbackIp = "127.0.0.1";
        script.fallbackPort = std::to_string(*fallbackPort);
    }
    m_relayServer.setLoginScript(script);
}

void LoginFixture::pressLogin(const std::string& teacherId, const std::string& name,
                              const std::string& slot) {
    m_flow->onClickLogin(teacherId, name, slot);
    m_loop.advance(login::LoginFlow::kLookupDelaySeconds);
}

std::vector<std::string> LoginFixture::logLines() const {
    std::lock_guard lock(m_logMutex);
    return m_log;
}

bool LoginFixture::logged(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace logintest
