// Scripted relay server.
#include "support/RelayPeer.h"

namespace testsupport {

namespace {

constexpr const char* kLoginResult = "[UR00001]";
constexpr const char* kTeacherAddress = "[UR00002]";
constexpr const char* kRelayAddress = "[UR00004]";
constexpr const char* kRegistration = "[US00001]";
constexpr const char* kGreeting = "[FR00001]";
constexpr const char* kConnIds = "[FR00002]";
constexpr const char* kRelayConnect = "[PC_CONN]";
constexpr const char* kHeartbeat = "[PC00003]";
constexpr const char* kHeartbeatAnswer = "[MV10002]";
// "[UR00001]" carries five fields after the result and "[UR00002]" four before the address;
// the agent does not read them.
constexpr const char* kUnreadLoginFields = ",0,0,0,0,0";
constexpr const char* kUnreadAddressFields = "0,0,0,0,";

} // namespace

RelayPeer::RelayPeer(Role role) : ScriptedPeer(role == Role::Login ? "relay-login" : "relay-session") {
    if (role == Role::Login) {
        installLogin();
    } else {
        installSession();
    }
}

RelayPeer::~RelayPeer() {
    stop();
}

void RelayPeer::setLoginScript(LoginScript script) {
    std::lock_guard lock(m_scriptMutex);
    m_login = std::move(script);
}

void RelayPeer::setSessionScript(SessionScript script) {
    std::lock_guard lock(m_scriptMutex);
    m_session = std::move(script);
}

RelayPeer::LoginScript RelayPeer::loginScript() {
    std::lock_guard lock(m_scriptMutex);
    return m_login;
}

RelayPeer::SessionScript RelayPeer::sessionScript() {
    std::lock_guard lock(m_scriptMutex);
    return m_session;
}

void RelayPeer::installLogin() {
    // The relay server speaks first; the student sends nothing until the result arrives.
    onAccept([this](std::size_t link) {
        const LoginScript script = loginScript();
        if (script.sendResult)
            sendText(std::string(kLoginResult) + script.resultCode + kUnreadLoginFields, link);
    });
    onCommand(kRegistration, [this](const PeerPacket& packet) {
        const LoginScript script = loginScript();
        if (script.fallbackIp) {
            sendText(std::string(kRelayAddress) + *script.fallbackIp + "," + script.fallbackPort,
                     packet.link);
        }
        if (script.sendTeacherAddress) {
            sendText(std::string(kTeacherAddress) + kUnreadAddressFields + script.teacherIp + "," +
                         script.teacherPort + ",0",
                     packet.link);
        }
    });
}

void RelayPeer::installSession() {
    onAccept([this](std::size_t link) { sendText(kGreeting, link); });
    onCommand(kRegistration, [this](const PeerPacket& packet) {
        const SessionScript script = sessionScript();
        const std::string params = script.fr00002Params.value_or(std::to_string(script.connId) + "," +
                                                                 std::to_string(script.teacherConnId));
        sendText(std::string(kConnIds) + params, packet.link);
    });
    onCommand(kRelayConnect, [this](const PeerPacket& packet) {
        for (const std::string& text : sessionScript().afterConnect) {
            sendEnveloped(text, packet.link);
        }
    });
    onCommand(kHeartbeat, [this](const PeerPacket& packet) {
        if (sessionScript().answerHeartbeat) {
            sendEnveloped(kHeartbeatAnswer, packet.link);
        }
    });
}

bool RelayPeer::sendEnvelopedBody(const Bytes& inner, std::optional<std::size_t> link) {
    const SessionScript script = sessionScript();
    return sendBody(envelopeBody(script.teacherConnId, script.connId, inner), link);
}

bool RelayPeer::sendEnveloped(std::string_view text, std::optional<std::size_t> link) {
    const auto inner = textBody(text);
    return inner && sendEnvelopedBody(*inner, link);
}

} // namespace testsupport
