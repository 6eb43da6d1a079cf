// The login on the virtual clock against the scripted lookup service, relay server and console:
// the direct road, the relay fallback, refusals, slot answers and failed lookups.
#include "LoginFixture.h"
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentSessionInfo.h"
#include "platform/LocalizedStrings.h"
#include "support/FullBacklogListener.h"

namespace logintest {
namespace {

using Stage = login::LoginFlow::Stage;
using testsupport::HttpsLookupPeer;

std::string text(const char* key) {
    return platform::localizedString(key);
}

TEST_F(LoginFixture, DirectRoadRegistersWithTheRelayServerAndOpensTheMainWindowAfterTwoSeconds) {
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(m_console.port()));
    m_console.setVersion("2.0.11.57");
    pressLogin(" T 1\n", "Kim", "2");
    EXPECT_EQ(m_view.teacherIdText, "T1");
    EXPECT_TRUE(m_view.progress);

    // The lookup: the teacher ID unescaped and a token over "<ms>.T1".
    const auto request = m_lookup.waitForRequest();
    ASSERT_TRUE(request);
    const auto query = HttpsLookupPeer::parseLookupRequest(*request);
    ASSERT_TRUE(query);
    EXPECT_EQ(query->val3, "T1");
    EXPECT_TRUE(query->tokenMatches);

    // The main queue runs the steps; the peers have everything once the slot is accepted.
    ASSERT_TRUE(runUntil([this] { return m_flow->stage() == Stage::Opening; }));

    // The long registration, sent only after the relay server's "[UR00001]0".
    const auto registration = m_relayServer.waitFor("[US00001]");
    ASSERT_TRUE(registration);
    const client::StudentSessionInfo& info = client::gStudentSessionInfo();
    EXPECT_EQ(registration->params(), "3,T1,127.0.0.1," + info.m_szLocalPort.get() + ",3.0.2.1008,3,apple," +
                                          info.m_szOsVersion.get());
    EXPECT_TRUE(registration->text->digestMatches);

    // The slot check's two answers on the teacher link.
    const auto version = m_console.waitFor("[PC00017]");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->params(), "3.0.2.1008");
    const auto osKind = m_console.waitFor("[PC00029]");
    ASSERT_TRUE(osKind);
    EXPECT_EQ(osKind->params(), "3,apple,Reserved");

    EXPECT_TRUE(m_relayServer.waitForClosed(0));
    m_loop.advance(1.9);
    EXPECT_EQ(m_view.mainWindowsOpened, 0);
    m_loop.advance(0.1);
    EXPECT_EQ(m_view.mainWindowsOpened, 1);
    EXPECT_FALSE(m_view.progress);
    EXPECT_EQ(m_flow->stage(), Stage::Done);
    EXPECT_TRUE(m_console.waitForClosed(0));
    EXPECT_FALSE(client::GlobalConfig::shared().isRelayEnabled());
    EXPECT_TRUE(m_view.messages.empty());

    // What the session start reads later.
    EXPECT_EQ(m_settings->stringValue(client::settings::kServerIp), "127.0.0.1");
    EXPECT_EQ(m_settings->stringValue(client::settings::kServerPort), std::to_string(m_console.port()));
    EXPECT_EQ(m_settings->stringValue(client::settings::kTeacherId), "T1");
    EXPECT_EQ(m_settings->stringValue(client::settings::kSlot), "2");
    EXPECT_EQ(m_settings->stringValue(client::settings::kAlias), "Kim");
    EXPECT_EQ(info.m_nInputSlot.load(), 2);
    EXPECT_EQ(info.m_szConnectPort.get(), std::to_string(m_console.port()));
    EXPECT_EQ(info.m_szTeacherId.get(), "T1");
    EXPECT_EQ(client::GlobalConfig::shared().strTeacherId(), "T1");
    // Every login-time observation is gone once the main window opens.
    EXPECT_EQ(m_center.observerCount("READ_MSG_MV00007"), 0u);
    EXPECT_EQ(m_center.observerCount("READ_MSG_UR00002"), 0u);
}

TEST_F(LoginFixture, UnansweredConsoleFallsBackToTheRelayAfterTheConnectTimeOut) {
    testsupport::FullBacklogListener silent;
    ASSERT_TRUE(silent.start());
    testsupport::RelayPeer relay(testsupport::RelayPeer::Role::Session);
    testsupport::RelayPeer::SessionScript session;
    session.connId = 12;
    session.teacherConnId = 34;
    session.afterConnect = {"[MV00094]2.0.11.57", "[MV00007]1,2,3"};
    relay.setSessionScript(session);
    ASSERT_TRUE(relay.start());
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(silent.port()), relay.port());
    pressLogin();

    ASSERT_TRUE(runUntil([this] { return m_flow->stage() == Stage::Opening; }, 20.0));
    EXPECT_TRUE(m_flow->isRelayMode());
    EXPECT_NE(
        std::find(m_view.statuses.begin(), m_view.statuses.end(), login::LoginFlow::kRelayConnectingText),
        m_view.statuses.end());
    EXPECT_EQ(client::GlobalConfig::shared().strRelayPort(), std::to_string(relay.port()));

    const auto registration = relay.waitFor("[US00001]");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->text->text, "[US00001]T1,3.0.2.1008");
    EXPECT_FALSE(registration->envelope);
    const auto connect = relay.waitFor("[PC_CONN]");
    ASSERT_TRUE(connect);
    ASSERT_TRUE(connect->envelope);
    EXPECT_EQ(connect->envelope->teacherConnId, 34u);
    EXPECT_EQ(connect->envelope->connId, 12u);

    m_loop.advance(login::LoginFlow::kOpenMainWindowDelaySeconds);
    EXPECT_EQ(m_view.mainWindowsOpened, 1);
    EXPECT_TRUE(client::GlobalConfig::shared().isRelayEnabled());
    EXPECT_TRUE(relay.waitForClosed(0));
    EXPECT_EQ(m_center.observerCount("READ_MSG_MV00007_RELAY"), 0u);
}

TEST_F(LoginFixture, RelayServerRefusalShowsItsMessageClosesTheLinkAndReturnsToIdle) {
    answerLookupWithRelayServer();
    testsupport::RelayPeer::LoginScript script;
    script.resultCode = "5";
    m_relayServer.setLoginScript(script);
    pressLogin("T1");

    ASSERT_TRUE(idleAgain());
    ASSERT_EQ(m_view.messages.size(), 1u);
    EXPECT_EQ(m_view.messages[0], text("rs_errorcode_5_1") + " T1 " + text("rs_errorcode_5_2"));
    EXPECT_TRUE(m_relayServer.waitForClosed(0));
    EXPECT_EQ(m_relayServer.count("[US00001]"), 0u);
    EXPECT_FALSE(m_view.progress);
    EXPECT_EQ(m_view.statuses.back(), "");
}

TEST(LoginMessagesTest, RefusalCodesBecomeTheirTexts) {
    platform::setPreferredLanguagesForTesting({"en-US"});
    EXPECT_EQ(login::getChangeRSMessageByLanguage("1"), text("rs_errorcode_5_1"));
    EXPECT_EQ(login::getChangeRSMessageByLanguage("6"), text("rs_errorcode_6"));
    EXPECT_EQ(login::getChangeRSMessageByLanguage("7"), text("rs_errorcode_7"));
    EXPECT_EQ(login::getChangeRSMessageByLanguage("9"), "9");
    platform::setPreferredLanguagesForTesting({});
}

struct SlotCase {
    const char* params;
    std::int32_t slot;
    bool match;
    std::int32_t last;
};

TEST(SlotCheckTest, FreeSlotListsAgainstTheStudentsSlot) {
    const SlotCase cases[] = {
        {"3", 3, true, 3},      {"0", 0, true, 0},    {"abc", 0, true, 0}, {"1,2,3", 2, true, 2},
        {"1,2,4", 3, false, 4}, {"1,2", 7, false, 2}, {"", 1, false, 0},   {"1,,5", 0, true, 0},
    };
    for (const SlotCase& c : cases) {
        const login::SlotCheck check = login::checkFreeSlots(c.params, c.slot);
        EXPECT_EQ(check.match, c.match) << c.params << " slot " << c.slot;
        EXPECT_EQ(check.last, c.last) << c.params << " slot " << c.slot;
    }
}

struct SlotAnswerCase {
    const char* freeSlots;
    const char* slot;
    const char* messageKey;
};

TEST_F(LoginFixture, SlotRefusalsShowTheirMessageAndCloseTheTeacherLink) {
    const SlotAnswerCase cases[] = {
        {"1,2,4", "3", "ZQ_VALIDATION_CHECK_SLOT"},
        {"1,2", "7", "ZQ_VALIDATION_ABOVE_CHECK_SLOT"},
        {"5", "3", "ZQ_VALIDATION_CHECK_SLOT"},
    };
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(m_console.port()));
    std::size_t link = 0;
    for (const SlotAnswerCase& c : cases) {
        SCOPED_TRACE(c.freeSlots);
        m_console.setFreeSlots(c.freeSlots);
        m_view.messages.clear();
        pressLogin("T1", "Kim", c.slot);
        ASSERT_TRUE(idleAgain());
        ASSERT_EQ(m_view.messages.size(), 1u);
        EXPECT_EQ(m_view.messages[0], text(c.messageKey));
        EXPECT_TRUE(m_console.waitForClosed(link++));
        EXPECT_EQ(m_view.mainWindowsOpened, 0);
        EXPECT_FALSE(m_view.progress);
    }
    EXPECT_TRUE(logged("[ZQ]Error already connect slot!"));
}

TEST_F(LoginFixture, RelayedSlotRefusalsComeFromTheRelayLinksOwnCheck) {
    const SlotAnswerCase cases[] = {
        {"[MV00007]3,4", "5", "ZQ_VALIDATION_ABOVE_CHECK_SLOT"},
        {"[MV00007]6,7", "5", "ZQ_VALIDATION_CHECK_SLOT"},
    };
    testsupport::RelayPeer relay(testsupport::RelayPeer::Role::Session);
    ASSERT_TRUE(relay.start());
    answerLookupWithRelayServer();
    // The console refuses the direct connect at once; the relay is the way in.
    scriptRelayServer(std::to_string(closedPort()), relay.port());
    for (const SlotAnswerCase& c : cases) {
        SCOPED_TRACE(c.freeSlots);
        testsupport::RelayPeer::SessionScript session;
        session.afterConnect = {c.freeSlots};
        relay.setSessionScript(session);
        m_view.messages.clear();
        pressLogin("T1", "Kim", c.slot);
        ASSERT_TRUE(idleAgain());
        ASSERT_EQ(m_view.messages.size(), 1u);
        EXPECT_EQ(m_view.messages[0], text(c.messageKey));
        EXPECT_EQ(m_view.mainWindowsOpened, 0);
    }
    EXPECT_EQ(m_center.observerCount("READ_MSG_MV00007_RELAY"), 0u);
}

TEST_F(LoginFixture, ConsoleRefusingTheConnectWithoutFallbackShowsTheConnectFailure) {
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(closedPort()));
    pressLogin();
    ASSERT_TRUE(idleAgain());
    ASSERT_EQ(m_view.messages.size(), 1u);
    EXPECT_EQ(m_view.messages[0], text("ZQ_ALERT_SERVER_CONN_FAILURE"));
}

// A relay server that refuses the connect, and a lookup naming the unspecified address (which
// would reach a listener on this machine, here the scripted relay server), as "[UR00002]" naming it
// is refused: both return to idle saying the connection failed, and nothing is reached.
TEST_F(LoginFixture, UnreachableRelayServerReturnsToIdleSayingTheConnectionFailed) {
    struct RelayServerCase {
        const char* name;
        std::string rsip;
        std::uint16_t rsport;
    };
    const RelayServerCase cases[] = {
        {"relay server refusing the connect", "127.0.0.1", closedPort()},
        {"unspecified relay-server address", "0.0.0.0", m_relayServer.port()},
    };
    for (const RelayServerCase& c : cases) {
        SCOPED_TRACE(c.name);
        answerLookupWith(
            {{"result", "true"}, {"code", "0"}, {"rsip", c.rsip}, {"rsport", std::to_string(c.rsport)}});
        m_view.statuses.clear();
        pressLogin();
        EXPECT_TRUE(m_lookup.waitForRequest());
        ASSERT_TRUE(idleAgain());
        ASSERT_FALSE(m_view.statuses.empty());
        EXPECT_EQ(m_view.statuses.back(), text("connection_failed"));
        EXPECT_FALSE(m_view.progress);
        EXPECT_TRUE(m_view.messages.empty());
        EXPECT_EQ(m_view.mainWindowsOpened, 0);
    }
    EXPECT_EQ(m_relayServer.linkCount(), 0u);
    // Idle: the next press starts a new lookup.
    pressLogin();
    EXPECT_TRUE(m_lookup.waitForRequest());
}

TEST_F(LoginFixture, ConsoleClosingBeforeTheSlotListReturnsToIdle) {
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(m_console.port()));
    m_console.setFreeSlots(std::nullopt);
    pressLogin();
    ASSERT_TRUE(runUntil([this] { return m_flow->stage() == Stage::SlotCheck; }));
    ASSERT_TRUE(m_console.waitForLinks(1));
    m_console.closeLink();
    ASSERT_TRUE(idleAgain());
    EXPECT_EQ(m_view.statuses.back(), text("connection_failed"));
    EXPECT_FALSE(m_view.progress);
    EXPECT_EQ(m_center.observerCount("READ_MSG_DISCONNECT"), 0u);
}

// A relay that goes away, or never passes the console's free slots on, during the slot check hands
// the window back to the student, as a console that closes the direct link does.
TEST_F(LoginFixture, RelayLostOrSilentDuringTheSlotCheckReturnsToIdle) {
    enum class Relay { Closes, StaysSilent };
    testsupport::RelayPeer relay(testsupport::RelayPeer::Role::Session);
    testsupport::RelayPeer::SessionScript session;
    session.afterConnect = {}; // no free slots ever come
    relay.setSessionScript(session);
    ASSERT_TRUE(relay.start());
    answerLookupWithRelayServer();
    scriptRelayServer(std::to_string(closedPort()), relay.port());
    std::size_t link = 0;
    for (Relay behaviour : {Relay::Closes, Relay::StaysSilent}) {
        SCOPED_TRACE(behaviour == Relay::Closes ? "relay closes" : "relay silent");
        pressLogin();
        ASSERT_TRUE(runUntil([this] { return m_flow->stage() == Stage::SlotCheck; }));
        ASSERT_TRUE(relay.waitFor("[PC_CONN]"));
        if (behaviour == Relay::Closes) {
            relay.closeLink(link);
        } else {
            m_loop.advance(login::LoginFlow::kLoginAnswerTimeoutSeconds - 0.1);
            EXPECT_EQ(m_flow->stage(), Stage::SlotCheck);
            m_loop.advance(0.1);
        }
        ASSERT_TRUE(idleAgain());
        EXPECT_EQ(m_view.statuses.back(), text("connection_failed"));
        EXPECT_FALSE(m_view.progress);
        EXPECT_TRUE(m_view.messages.empty());
        EXPECT_TRUE(relay.waitForClosed(link));
        EXPECT_EQ(m_center.observerCount("READ_MSG_DISCONNECT"), 0u);
        ++link;
    }
    EXPECT_EQ(m_view.mainWindowsOpened, 0);
}

// A relay server that takes the link and never sends "[UR00001]", and a console that takes it and
// never sends its free slots, each hand the window back once the answer is overdue; the next
// press starts a new lookup.
TEST_F(LoginFixture, SilentRelayServerOrConsoleReturnsToIdleWithinItsBound) {
    enum class Silent { RelayServer, Console };
    answerLookupWithRelayServer();
    m_console.setFreeSlots(std::nullopt);
    std::size_t relayServerLink = 0;
    for (Silent silent : {Silent::RelayServer, Silent::Console}) {
        SCOPED_TRACE(silent == Silent::RelayServer ? "relay server silent" : "console silent");
        testsupport::RelayPeer::LoginScript script;
        script.sendResult = silent == Silent::Console;
        script.teacherPort = std::to_string(m_console.port());
        m_relayServer.setLoginScript(script);
        client::gStudentSessionInfo().m_szLocalPort.clear();
        m_view.statuses.clear();
        pressLogin();
        ASSERT_TRUE(m_lookup.waitForRequest());
        // The link is up (its local port is known, or the slot check waits): the bound starts.
        ASSERT_TRUE(runUntil([this, silent] {
            return silent == Silent::RelayServer ? !client::gStudentSessionInfo().m_szLocalPort.get().empty()
                                                 : m_flow->stage() == Stage::SlotCheck;
        }));
        m_loop.advance(login::LoginFlow::kLoginAnswerTimeoutSeconds - 0.1);
        EXPECT_TRUE(m_flow->isLoginInProgress());
        m_loop.advance(0.1);
        EXPECT_FALSE(m_flow->isLoginInProgress());
        EXPECT_EQ(m_flow->stage(), Stage::Idle);
        ASSERT_FALSE(m_view.statuses.empty());
        EXPECT_EQ(m_view.statuses.back(), text("connection_failed"));
        EXPECT_FALSE(m_view.progress);
        EXPECT_TRUE(m_view.messages.empty());
        if (silent == Silent::RelayServer)
            EXPECT_TRUE(m_relayServer.waitForClosed(relayServerLink));
        else
            EXPECT_TRUE(m_console.waitForClosed(0));
        relayServerLink = m_relayServer.linkCount();
        EXPECT_EQ(m_center.observerCount("READ_MSG_DISCONNECT"), 0u);
    }
    // Idle: the next press reaches the lookup again.
    pressLogin();
    EXPECT_TRUE(m_lookup.waitForRequest());
    EXPECT_EQ(m_view.mainWindowsOpened, 0);
}

// An address the session would refuse ("[UR00002]" naming the unspecified address, an address that
// does not parse, port 0; a fallback "[UR00004]" naming the unspecified address) fails the login as
// a refused connect does, never reaching a peer on this machine.
TEST_F(LoginFixture, AddressesTheSessionWouldRefuseFailTheLogin) {
    struct AddressCase {
        const char* name;
        std::string teacherIp;
        std::string teacherPort;
        std::optional<std::string> fallbackIp;
    };
    testsupport::RelayPeer relay(testsupport::RelayPeer::Role::Session);
    ASSERT_TRUE(relay.start());
    const std::string consolePort = std::to_string(m_console.port());
    const AddressCase cases[] = {
        {"unspecified teacher address", "0.0.0.0", consolePort, std::nullopt},
        {"teacher address that does not parse", "127.0.0.256", consolePort, std::nullopt},
        {"teacher port 0", "127.0.0.1", "0", std::nullopt},
        {"unspecified relay address", "127.0.0.1", std::to_string(closedPort()), "0.0.0.0"},
    };
    answerLookupWithRelayServer();
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::RelayPeer::LoginScript script;
        script.teacherIp = c.teacherIp;
        script.teacherPort = c.teacherPort;
        if (c.fallbackIp) {
            script.fallbackIp = *c.fallbackIp;
            script.fallbackPort = std::to_string(relay.port());
        }
        m_relayServer.setLoginScript(script);
        m_view.messages.clear();
        pressLogin();
        ASSERT_TRUE(idleAgain());
        ASSERT_EQ(m_view.messages.size(), 1u);
        EXPECT_EQ(m_view.messages[0], text("ZQ_ALERT_SERVER_CONN_FAILURE"));
        EXPECT_EQ(m_view.mainWindowsOpened, 0);
    }
    EXPECT_EQ(m_console.linkCount(), 0u);
    EXPECT_EQ(relay.linkCount(), 0u);
}

// A fallback relay that never answers the connect is given up after 5 s. A fallback learned in a
// failed attempt belongs to that attempt: the next press, whose relay server names none, fails
// without trying it.
TEST_F(LoginFixture, RelayFallbackGivesUpAfterItsTimeOutAndIsForgottenAtTheNextPress) {
    constexpr double kRelayConnectSeconds = 5.0;
    testsupport::FullBacklogListener silentRelay;
    ASSERT_TRUE(silentRelay.start());
    answerLookupWithRelayServer();
    const auto triedTheRelay = [this] {
        return std::find(m_view.statuses.begin(), m_view.statuses.end(),
                         login::LoginFlow::kRelayConnectingText) != m_view.statuses.end();
    };
    for (bool withFallback : {true, false}) {
        SCOPED_TRACE(withFallback ? "fallback named" : "no fallback");
        if (withFallback)
            scriptRelayServer(std::to_string(closedPort()), silentRelay.port());
        else
            scriptRelayServer(std::to_string(closedPort()));
        m_view.statuses.clear();
        m_view.messages.clear();
        pressLogin();
        if (withFallback) {
            // The relay's connect is under way once its status shows; the socket's time-out runs
            // on the wall clock.
            ASSERT_TRUE(runUntil(triedTheRelay));
            const auto started = std::chrono::steady_clock::now();
            ASSERT_TRUE(idleAgain());
            const double waited =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            EXPECT_GE(waited, kRelayConnectSeconds - 0.1);
            EXPECT_LT(waited, kRelayConnectSeconds + kWallWait / 2);
        }
        ASSERT_TRUE(idleAgain());
        ASSERT_EQ(m_view.messages.size(), 1u);
        EXPECT_EQ(m_view.messages[0], text("ZQ_ALERT_SERVER_CONN_FAILURE"));
        EXPECT_EQ(triedTheRelay(), withFallback);
        EXPECT_EQ(m_flow->isRelayMode(), withFallback);
    }
}

struct LookupCase {
    const char* name;
    HttpsLookupPeer::Fields fields;
    HttpsLookupPeer::LineEnding ending;
    bool leadingEmptyLine;
    const char* messageKey; // nullptr: the relay server is reached
};

TEST_F(LoginFixture, LookupAnswersDecideBetweenMessageAndRelayConnect) {
    const std::string rsport = std::to_string(m_relayServer.port());
    const LookupCase cases[] = {
        {"code 1", {{"result", "false"}, {"code", "1"}}, HttpsLookupPeer::LineEnding::Lf, true, "webcode_1"},
        {"code 2", {{"result", "false"}, {"code", "2"}}, HttpsLookupPeer::LineEnding::Lf, true, "webcode_2"},
        {"code 3", {{"result", "true"}, {"code", "3"}}, HttpsLookupPeer::LineEnding::Lf, true, "webcode_3"},
        {"result false",
         {{"result", "false"}, {"code", "0"}},
         HttpsLookupPeer::LineEnding::Lf,
         true,
         "webcode_4"},
        {"no empty first line",
         {{"result", "true"}, {"code", "0"}, {"rsip", "127.0.0.1"}, {"rsport", rsport}},
         HttpsLookupPeer::LineEnding::Lf,
         false,
         "webcode_4"},
        {"CRLF lines",
         {{"result", "true"}, {"code", "0"}, {"rsip", "127.0.0.1"}, {"rsport", rsport}},
         HttpsLookupPeer::LineEnding::CrLf,
         true,
         nullptr},
    };
    testsupport::RelayPeer::LoginScript refuse;
    refuse.resultCode = "7";
    m_relayServer.setLoginScript(refuse);
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        answerLookupWith(c.fields, c.ending, c.leadingEmptyLine);
        m_view.messages.clear();
        pressLogin();
        ASSERT_TRUE(idleAgain());
        ASSERT_EQ(m_view.messages.size(), 1u);
        // Reaching the relay server ends here with its refusal "7".
        EXPECT_EQ(m_view.messages[0], text(c.messageKey ? c.messageKey : "rs_errorcode_7"));
        EXPECT_FALSE(m_view.alert);
    }
}

TEST_F(LoginFixture, FailedLookupsEndTheProcessOnTheAlertsOk) {
    struct FailureCase {
        const char* name;
        std::function<void()> arrange;
        std::string content;
    };
    const FailureCase cases[] = {
        {"status 404", [this] { m_lookup.setResponse(HttpsLookupPeer::kStatusNotFound, {}); },
         text("webcode_1")},
        {"undecodable",
         [this] {
             m_lookup.setResponse(HttpsLookupPeer::kStatusOk, {'\n', 0x81, 0xFF, 0xFF});
         },
         text("webcode_1")},
        {"no service",
         [this] {
             m_settings->setString(login::kLookupBaseURLKey,
                                   "https://127.0.0.1:" + std::to_string(closedPort()));
         },
         "Failed to access to the URL page."},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_flow = login::LoginFlow::create(m_view, m_center);
        m_view.alert.reset();
        m_terminateStatus.reset();
        c.arrange();
        pressLogin();
        ASSERT_TRUE(runUntil([this] { return m_view.alert.has_value(); }, 20.0));
        EXPECT_EQ(m_view.alert->title, text("notice_msg_title"));
        EXPECT_EQ(m_view.alert->content, c.content);
        EXPECT_FALSE(m_terminateStatus);
        m_view.alert->ok();
        EXPECT_EQ(m_terminateStatus, 0);
    }
}

TEST_F(LoginFixture, EmptyOrForbiddenInputStaysLocal) {
    pressLogin("  ", "Kim", "2");
    ASSERT_EQ(m_view.messages.size(), 1u);
    EXPECT_EQ(m_view.messages[0], text("ZQ_VALIDATION_EMPTY_INPUT"));
    EXPECT_EQ(m_view.teacherIdText, "");
    EXPECT_FALSE(m_flow->isLoginInProgress());

    pressLogin("T1", "Kim,Lee", "2");
    ASSERT_EQ(m_view.messages.size(), 2u);
    EXPECT_EQ(m_view.messages[1], text("ZQ_VALIDATION_INVALID_INPUT"));
    EXPECT_FALSE(m_lookup.waitForRequest(std::chrono::milliseconds(200)));
}

TEST_F(LoginFixture, SecondPressDuringAnAttemptIsIgnored) {
    answerLookupWith({{"result", "false"}, {"code", "2"}});
    m_flow->onClickLogin("T1", "Kim", "2");
    m_flow->onClickLogin("T2", "Lee", "3");
    m_loop.advance(login::LoginFlow::kLookupDelaySeconds);
    ASSERT_TRUE(idleAgain());
    const auto request = m_lookup.waitForRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(HttpsLookupPeer::parseLookupRequest(*request)->val3, "T1");
    EXPECT_FALSE(m_lookup.waitForRequest(std::chrono::milliseconds(200)));
}

} // namespace
} // namespace logintest
