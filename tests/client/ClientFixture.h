// Shared set-up of the client suites: a virtual main clock, a private notification centre, clean
// settings and records, a known screen size, a log and workspace recorder, and a client connected
// over loopback, on the direct or the relay link, to a silent scripted console (tests/support's
// peer, with its own codec) that the test scripts by hand.
#pragma once

#include "client/ClientEvents.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "support/PeerCodec.h"
#include "support/ScriptedPeer.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace clienttest {

using Link = client::StudentClient::Link;
using testsupport::Bytes;
using testsupport::envelopeBody;

// The relay session's connection numbers the fixture hands out with "[FR00002]17,4".
constexpr std::int32_t kConnId = 17;
constexpr std::int32_t kTeacherConnId = 4;
constexpr const char* kRelayPrefix = "relay(4,17):";
// Screen of 1440.5 x 900.7 points: the client reports it truncated.
constexpr double kScreenWidthPoints = 1440.5;
constexpr double kScreenHeightPoints = 900.7;

// The type-1 body of a text; every text of these suites is valid UTF-8.
Bytes textBody(const std::string& text);
// A body the agent sent, in the suites' words: a text command as its text; an envelope as
// "relay(<teacher>,<conn>):" and its inner body's words; the screen format, the first mouse event
// and the compression setting as "type<N>:<fields>"; any other body as "type<N>".
std::string describe(const Bytes& body);

struct Posted {
    std::string name;
    platform::Dictionary dictionary;
    const void* sender = nullptr;
};

class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Connects a new client to the console on the direct link (slot and alias in the settings).
    void startDirect(const std::string& slot = "2", const std::string& alias = "Kim");
    // Connects a new client through the relay and completes "[FR00002]17,4" / "[PC_CONN]".
    void startRelay(const std::string& slot = "4", const std::string& alias = "Kim",
                    bool completeHandshake = true);

    const void* sender(Link link) const;
    // Delivers a packet record as the link would: synchronously, sender = that link.
    void deliver(const std::string& name, Link link, const std::shared_ptr<transport::SReceiveData>& record);
    void deliverText(const std::string& name, Link link, const std::string& params);

    // What the agent sent the console so far, in describe()'s words.
    std::vector<std::string> sentToConsole() const;
    std::vector<Posted> posted() const;
    std::vector<std::string> logLines() const;
    std::vector<std::string> openedURLs() const;
    std::size_t disconnects() const;
    // The lines logged while oneOfEach runs repeats times, and once more a second later, so that the
    // last line of each kind counts those held back before it. Lines held back by earlier cases are
    // told before the count starts.
    std::vector<std::string> linesOfRepeats(int repeats, const std::function<void()>& oneOfEach);

    platform::ManualRunLoop m_loop;
    platform::NotificationCenter m_center;
    std::shared_ptr<platform::UserDefaults> m_settings;
    std::unique_ptr<testsupport::ScriptedPeer> m_console;
    std::shared_ptr<client::StudentClient> m_client;

private:
    void startConsole();
    void observeEvents();
    mutable std::mutex m_lock;
    std::vector<Posted> m_posted;
    std::vector<std::string> m_log;
    std::vector<std::string> m_urls;
    std::size_t m_disconnects = 0;
    std::vector<platform::ObserverToken> m_tokens;
};

} // namespace clienttest
