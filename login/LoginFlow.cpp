#include "login/LoginFlow.h"

#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/GlobalConfig.h"
#include "client/PeerAddress.h"
#include "client/SettingsKeys.h"
#include "client/StudentSessionInfo.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "platform/UserDefaults.h"

namespace login {
namespace {

constexpr int kExitStatus = 0;
constexpr int kMaxPort = 65535;

constexpr const char* kRefusalFive = "5";
constexpr const char* kRefusalCodes[][2] = {
    {"1", "rs_errorcode_5_1"},
    {"6", "rs_errorcode_6"},
    {"7", "rs_errorcode_7"},
};
constexpr const char* kAccepted = "0";

constexpr const char* kConnectingKey = "ZQ_MESSAGE_CONN_TO_SERVER";
constexpr const char* kInitializingKey = "ZQ_MESSAGE_INITIALIZING";
constexpr const char* kConnectFailureKey = "ZQ_ALERT_SERVER_CONN_FAILURE";
constexpr const char* kConnectionFailedKey = "connection_failed";
constexpr const char* kSlotTakenKey = "ZQ_VALIDATION_CHECK_SLOT";
constexpr const char* kSlotAboveKey = "ZQ_VALIDATION_ABOVE_CHECK_SLOT";

} // namespace

SlotCheck checkFreeSlots(std::string_view params, std::int32_t inputSlot) {
    SlotCheck check;
    for (const std::string& field : client::splitFields(params)) {
        check.last = client::parseInt32(field);
        if (check.last == inputSlot) {
            check.match = true;
            break;
        }
    }
    return check;
}

std::string getChangeRSMessageByLanguage(const std::string& code) {
    if (code == kRefusalFive) {
        return platform::localizedString("rs_errorcode_5_1") + " " +
               client::gStudentSessionInfo().m_szTeacherId.get() + " " +
               platform::localizedString("rs_errorcode_5_2");
    }
    for (const auto& [refusal, key] : kRefusalCodes) {
        if (code == refusal)
            return platform::localizedString(key);
    }
    return code;
}

std::optional<int> portValue(std::string_view text) {
    const std::int32_t port = client::parseInt32(text);
    if (port < 0 || port > kMaxPort)
        return std::nullopt;
    return port;
}

std::shared_ptr<LoginFlow> LoginFlow::create(LoginView& view, platform::NotificationCenter& center) {
    return std::make_shared<LoginFlow>(view, center);
}

LoginFlow::LoginFlow(LoginView& view, platform::NotificationCenter& center)
    : m_view(view), m_pNotificationCenter(center), m_linkObservers(center) {}

LoginFlow::~LoginFlow() {
    removeLinkObservers();
    closeTeacherLink();
    closeRelayLink();
    joinWorker();
}

void LoginFlow::initValue() {
    client::fillStudentIdentity(client::gStudentSessionInfo());
}

void LoginFlow::onClickLogin(const std::string& teacherIdText, const std::string& nameText,
                             const std::string& slotText) {
    if (m_bOnClicked)
        return;
    m_bOnClicked = true;
    const LoginInputCheck check = checkLoginInput(teacherIdText, nameText, slotText);
    m_view.setTeacherIdText(check.input.teacherId);
    if (!check.ok) {
        m_bOnClicked = false;
        m_view.showMessagebox(platform::localizedString(check.messageKey));
        return;
    }
    m_input = check.input;
    // A relay address learned in an earlier attempt belongs to that attempt's answer.
    m_bRelayMode = false;
    m_strRelayIp.clear();
    m_strRelayPort.clear();
    client::GlobalConfig::shared().setIsRelayEnabled(false);
    client::GlobalConfig::shared().setStrTeacherId(m_input.teacherId);
    m_view.setProgressEnabled(true);
    m_view.setStatusText(platform::localizedString(kInitializingKey));
    m_stage = Stage::LookingUp;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    platform::mainQueue::asyncAfter(kLookupDelaySeconds, [weak] {
        if (auto flow = weak.lock())
            flow->getRSInfo();
    });
}

void LoginFlow::getRSInfo() {
    client::gStudentSessionInfo().m_szTeacherId.set(m_input.teacherId);
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_lookup = std::make_unique<RSInfoLookup>();
    const bool started = m_lookup->getRSInfo(m_input.teacherId, [weak](const RSInfoOutcome& outcome) {
        if (auto flow = weak.lock())
            flow->getRSInfoResult(outcome);
    });
    if (!started) {
        platform::logf("[ZQ]Lookup still running; login press dropped.");
        failWithMessage(platform::localizedString(kConnectionFailedKey));
    }
}

void LoginFlow::getRSInfoResult(const RSInfoOutcome& outcome) {
    const auto endOnOk = [](const std::string& content, LoginFlow& flow) {
        flow.m_stage = Stage::Ending;
        flow.m_view.showAlert(platform::localizedString(kNoticeTitleKey), content,
                              [] { platform::terminate(kExitStatus); });
    };
    switch (outcome.status) {
    case RSInfoStatus::RequestFailed:
        endOnOk(kRequestFailedText, *this);
        return;
    case RSInfoStatus::BadAnswer:
        endOnOk(platform::localizedString(kBadAnswerKey), *this);
        return;
    case RSInfoStatus::Refused:
        failWithMessage(platform::localizedString(outcome.messageKey));
        return;
    case RSInfoStatus::Found:
        break;
    }
    m_sRSInfoResultData = outcome.result;
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    info.m_szRsIp.set(m_sRSInfoResultData.rsip);
    info.m_nRsPort.store(m_sRSInfoResultData.rsport);
    rsConnect();
}

void LoginFlow::rsConnect() {
    m_stage = Stage::RelayServer;
    ++m_linkGeneration;
    m_pMVConn = transport::TCPServerClient::create(m_pNotificationCenter);
    m_pMVConn->Open();
    observeRelayServerLink();
    observeLinkLoss();
    const std::string host = m_sRSInfoResultData.rsip;
    const std::int32_t port = m_sRSInfoResultData.rsport;
    // Checked as the addresses the relay server hands over are: the unspecified address would
    // reach whatever listens on this machine.
    if (!client::isConnectableAddress(host, port, "relay server")) {
        rsConnected(false);
        return;
    }
    auto link = m_pMVConn;
    connectOnWorker(
        [link, host, port] {
            link->SetConnectTimeout(kRelayServerConnectTimeoutSeconds);
            return link->Connect(host, port);
        },
        [](LoginFlow& flow, bool ok) { flow.rsConnected(ok); });
}

void LoginFlow::rsConnected(bool ok) {
    if (!ok) {
        // Back to idle, so the student can try again; the status keeps saying why.
        rsClose();
        m_stage = Stage::Idle;
        m_bOnClicked = false;
        m_view.setProgressEnabled(false);
        m_view.setStatusText(platform::localizedString(kConnectionFailedKey));
        return;
    }
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    info.m_szLocalIp.set(m_pMVConn->GetLocalAddress());
    info.m_szLocalPort.set(std::to_string(m_pMVConn->GetLoaclPort()));
    m_pMVConn->StartReceiveThread();
    m_pMVConn->StartRequestThread();
    armAnswerTimeout(&LoginFlow::onLoginLinkLost, "no answer from the relay server");
}

void LoginFlow::rsClose() {
    closeTeacherLink();
}

void LoginFlow::callBackUR00001(std::uint64_t link, const std::string& f0) {
    if (!m_pMVConn || link != m_linkGeneration || m_stage != Stage::RelayServer)
        return;
    if (f0 != kAccepted) {
        const std::string message = getChangeRSMessageByLanguage(f0);
        rsClose();
        failWithMessage(message);
        return;
    }
    const client::StudentSessionInfo& info = client::gStudentSessionInfo();
    const std::string text = client::command::relayRegistration(
        info.m_nClientKind.load(), m_input.teacherId, info.m_szLocalIp.get(), info.m_szLocalPort.get(),
        info.m_nOsKind.load(), info.m_szOsKind.get(), info.m_szOsVersion.get());
    auto request = transport::newRequestData(kRequestBytes);
    if (!transport::TCPServerClient::MakeSendPacket(*request, text)) {
        platform::logf("[ZQ]Registration text could not be built.");
        return;
    }
    m_pMVConn->Send(std::move(request));
}

void LoginFlow::callBackUR00004(std::uint64_t link, const std::string& relayIp,
                                const std::string& relayPort) {
    if (!m_pMVConn || link != m_linkGeneration)
        return;
    m_strRelayIp = relayIp;
    m_strRelayPort = relayPort;
    client::GlobalConfig::shared().setStrRelayIp(relayIp);
    client::GlobalConfig::shared().setStrRelayPort(relayPort);
    m_bRelayMode = true;
}

void LoginFlow::callBackUR00002(std::uint64_t link, const std::string& serverIp,
                                const std::string& serverPort) {
    if (!m_pMVConn || link != m_linkGeneration || m_stage != Stage::RelayServer)
        return;
    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    info.m_szServerIp.set(serverIp);
    info.m_szServerPort.set(serverPort);
    auto settings = platform::UserDefaults::suite();
    settings->setString(client::settings::kServerIp, info.m_szServerIp.get());
    settings->setString(client::settings::kTeacherId, m_input.teacherId);
    settings->setString(client::settings::kSlot, m_input.slot);
    settings->setString(client::settings::kAlias, m_input.name);
    settings->setString(client::settings::kServerPort, info.m_szServerPort.get());
    settings->synchronize();
    rsClose();
    callbackMVConnectReady();
}

void LoginFlow::callbackMVConnectReady() {
    auto settings = platform::UserDefaults::suite();
    const std::optional<std::string> ip = settings->string(client::settings::kServerIp);
    const std::optional<std::string> portText = settings->string(client::settings::kServerPort);
    m_nsIp = ip.value_or("");

    client::StudentSessionInfo& info = client::gStudentSessionInfo();
    client::fillStudentIdentity(info);
    info.m_nInputSlot.store(m_input.slotNumber);
    info.m_szServerIp.set(ip ? *ip : client::settings::kDefaultServerIp);
    info.m_szServerPort.set(portText ? *portText : client::settings::kDefaultServerPort);
    info.m_szConnectPort.set(info.m_szServerPort.get());
    info.m_szAlias.set(m_input.name);

    if (ip)
        settings->setString(client::settings::kServerIp, m_nsIp);
    settings->setString(client::settings::kSlot, m_input.slot);
    settings->setString(client::settings::kAlias, m_input.name);
    settings->setString(client::settings::kServerPort,
                        std::to_string(client::parseInt32(portText.value_or(""))));
    settings->synchronize();

    if (m_bConnectThreadRunning)
        return;
    m_view.setStatusText(platform::localizedString(kConnectingKey));
    threadMVConnection();
}

void LoginFlow::threadMVConnection() {
    m_bConnectThreadRunning = true;
    m_stage = Stage::ConnectingTeacher;
    ++m_linkGeneration;
    m_pMVConn = transport::TCPServerClient::create(m_pNotificationCenter);
    m_pMVConn->Open();
    observeTeacherLink();
    observeLinkLoss();
    // The session connects to the same stored address later and refuses what is refused here.
    const std::optional<int> port = portValue(client::gStudentSessionInfo().m_szConnectPort.get());
    if (!port || !client::isConnectableAddress(m_nsIp, *port)) {
        teacherConnected(false);
        return;
    }
    auto link = m_pMVConn;
    const std::string host = m_nsIp;
    connectOnWorker(
        [link, host, port = *port] {
            link->SetConnectTimeout(kTeacherConnectTimeoutSeconds);
            return link->Connect(host, port);
        },
        [](LoginFlow& flow, bool ok) { flow.teacherConnected(ok); });
}

void LoginFlow::teacherConnected(bool ok) {
    m_bConnectThreadRunning = false;
    if (ok) {
        m_stage = Stage::SlotCheck;
        m_pMVConn->StartReceiveThread();
        m_pMVConn->StartRequestThread();
        armAnswerTimeout(&LoginFlow::onLoginLinkLost, "no free slots from the console");
        return;
    }
    closeTeacherLink();
    if (!m_bRelayMode) {
        failWithMessage(platform::localizedString(kConnectFailureKey));
        return;
    }
    relayFallback();
}

void LoginFlow::relayFallback() {
    m_stage = Stage::ConnectingTeacher;
    m_view.setStatusText(kRelayConnectingText);
    ++m_linkGeneration;
    m_pRelayConn = transport::TCP_RelayServer::create(m_pNotificationCenter);
    m_pRelayConn->open();
    m_pRelayConn->setTeacherId(m_input.teacherId);
    m_pRelayConn->setInputSlot(client::gStudentSessionInfo().m_nInputSlot.load());
    observeRelayLink();
    const std::optional<int> port = portValue(m_strRelayPort);
    if (!port || !client::isConnectableAddress(m_strRelayIp, *port, "relay")) {
        relayConnected(false);
        return;
    }
    auto link = m_pRelayConn;
    const std::string host = m_strRelayIp;
    connectOnWorker(
        [link, host, port = *port] {
            link->setConnectTimeout(kRelayConnectTimeoutSeconds);
            return link->connect(host, port);
        },
        [](LoginFlow& flow, bool ok) { flow.relayConnected(ok); });
}

void LoginFlow::relayConnected(bool ok) {
    if (!ok) {
        closeRelayLink();
        failWithMessage(platform::localizedString(kConnectFailureKey));
        return;
    }
    m_stage = Stage::SlotCheck;
    m_pRelayConn->startReceiveThread();
    m_pRelayConn->startRequestThread();
    armAnswerTimeout(&LoginFlow::onRelayLinkLost, "no slot answer through the relay");
}

void LoginFlow::armAnswerTimeout(void (LoginFlow::*lost)(std::uint64_t, const char*), const char* why) {
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    const std::uint64_t generation = m_linkGeneration;
    platform::mainQueue::asyncAfter(kLoginAnswerTimeoutSeconds, [weak, generation, lost, why] {
        if (auto flow = weak.lock())
            ((*flow).*lost)(generation, why);
    });
}

void LoginFlow::callbackMV00007(std::uint64_t link, SlotCheck check) {
    if (!m_pMVConn || link != m_linkGeneration || m_stage != Stage::SlotCheck)
        return;
    if (check.match) {
        m_stage = Stage::Opening;
        std::weak_ptr<LoginFlow> weak = weak_from_this();
        platform::mainQueue::asyncAfter(kOpenMainWindowDelaySeconds, [weak] {
            if (auto flow = weak.lock()) {
                flow->closeTeacherLink();
                flow->finishLogin();
            }
        });
        return;
    }
    closeTeacherLink();
    if (check.last >= client::gStudentSessionInfo().m_nInputSlot.load()) {
        platform::logf("[ZQ]Error already connect slot!");
        failWithMessage(platform::localizedString(kSlotTakenKey));
    } else {
        failWithMessage(platform::localizedString(kSlotAboveKey));
    }
}

void LoginFlow::onRelayReady(std::uint64_t link) {
    if (!m_pRelayConn || link != m_linkGeneration || m_stage != Stage::SlotCheck)
        return;
    m_stage = Stage::Opening;
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    platform::mainQueue::asyncAfter(kOpenMainWindowDelaySeconds, [weak] {
        if (auto flow = weak.lock()) {
            client::GlobalConfig::shared().setIsRelayEnabled(true);
            flow->closeRelayLink();
            flow->finishLogin();
        }
    });
}

void LoginFlow::onRelayNotReady(std::uint64_t link, const std::string& ret) {
    if (!m_pRelayConn || link != m_linkGeneration || m_stage != Stage::SlotCheck)
        return;
    if (ret == transport::TCP_RelayServer::kRetAbove) {
        failWithMessage(platform::localizedString(kSlotAboveKey));
    } else if (ret == transport::TCP_RelayServer::kRetTaken) {
        platform::logf("[ZQ]Error already connect slot!");
        failWithMessage(platform::localizedString(kSlotTakenKey));
    } else {
        return;
    }
    closeRelayLink();
}

void LoginFlow::finishLogin() {
    removeLinkObservers();
    m_stage = Stage::Done;
    m_view.setProgressEnabled(false);
    // Last: opening the main window closes the login window, whose controller owns this flow.
    m_view.openMainWindow();
}

void LoginFlow::onLoginLinkLost(std::uint64_t link, const char* why) {
    if (!m_pMVConn || link != m_linkGeneration)
        return;
    if (m_stage != Stage::RelayServer && m_stage != Stage::SlotCheck)
        return;
    // The peer ended the link, or kept it without answering: without this the window would wait
    // for good.
    platform::logf("[ZQ]Login link ended: %s.", why);
    closeTeacherLink();
    returnToIdleConnectionFailed();
}

void LoginFlow::onRelayLinkLost(std::uint64_t link, const char* why) {
    if (!m_pRelayConn || link != m_linkGeneration || m_stage != Stage::SlotCheck)
        return;
    // A relay that closes, or never passes the slot question on, would leave the window spinning
    // and the login button dead.
    platform::logf("[ZQ_Relay]Login through the relay ended: %s.", why);
    closeRelayLink();
    returnToIdleConnectionFailed();
}

void LoginFlow::returnToIdleConnectionFailed() {
    m_stage = Stage::Idle;
    m_bOnClicked = false;
    m_view.setProgressEnabled(false);
    m_view.setStatusText(platform::localizedString(kConnectionFailedKey));
}

void LoginFlow::failWithMessage(const std::string& text) {
    m_stage = Stage::Idle;
    m_bOnClicked = false;
    m_view.setStatusText("");
    m_view.setProgressEnabled(false);
    m_view.showMessagebox(text);
}

void LoginFlow::closeTeacherLink() {
    if (!m_pMVConn)
        return;
    removeLinkObservers();
    m_pMVConn->Close();
    // The shut-down link's threads end at once; waiting for them keeps every login-time link from
    // outliving the login (and the centre it posts to).
    m_pMVConn->JoinThreads();
    m_pMVConn.reset();
}

void LoginFlow::closeRelayLink() {
    if (!m_pRelayConn)
        return;
    removeLinkObservers();
    m_pRelayConn->close();
    m_pRelayConn->removeNotification();
    m_pRelayConn->JoinThreads();
    m_pRelayConn.reset();
}

void LoginFlow::removeLinkObservers() {
    m_linkObservers.removeAll();
}

void LoginFlow::connectOnWorker(std::function<bool()> connect, std::function<void(LoginFlow&, bool)> done) {
    joinWorker();
    std::weak_ptr<LoginFlow> weak = weak_from_this();
    m_worker = std::thread([weak, connect = std::move(connect), done = std::move(done)] {
        const bool ok = connect();
        platform::mainQueue::async([weak, done, ok] {
            if (auto flow = weak.lock())
                done(*flow, ok);
        });
    });
}

void LoginFlow::joinWorker() {
    if (m_worker.joinable())
        m_worker.join();
}

} // namespace login
