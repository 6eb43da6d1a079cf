// A scripted relay server in one of its two roles: the login role answers the registration with
// the teacher console's address ("[UR0000x]" codes); the session role runs the "[FR0000x]"
// handshake and then speaks for the console inside relay envelopes. Threads as ScriptedPeer;
// scripts may be replaced from the test thread at any time and apply to the next exchange.
#pragma once

#include "support/ScriptedPeer.h"

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class RelayPeer : public ScriptedPeer {
public:
    enum class Role { Login, Session };

    struct LoginScript {
        std::string resultCode = "0";          // f0 of "[UR00001]"; "0" is success
        bool sendResult = true;                // greet each link with "[UR00001]"; off stays silent
        bool sendTeacherAddress = true;        // answer "[US00001]" with "[UR00002]"
        std::string teacherIp = "127.0.0.1";   // f4 of "[UR00002]"
        std::string teacherPort = "0";         // f5 of "[UR00002]", as text so tests can send it empty
        std::optional<std::string> fallbackIp; // when set, "[UR00004]" precedes "[UR00002]"
        std::string fallbackPort = "0";
    };

    struct SessionScript {
        std::uint32_t connId = 17;       // the student's connection on the relay
        std::uint32_t teacherConnId = 4; // the teacher's connection on the relay
        // Parameters of "[FR00002]"; nullopt sends "connId,teacherConnId".
        std::optional<std::string> fr00002Params;
        // Enveloped texts sent once "[PC_CONN]" arrives.
        std::vector<std::string> afterConnect{"[MV00007]1,2,3"};
        bool answerHeartbeat = true; // enveloped "[MV10002]" on "[PC00003]"
    };

    explicit RelayPeer(Role role);
    ~RelayPeer() override;

    void setLoginScript(LoginScript script);
    void setSessionScript(SessionScript script);

    // A text or body in an envelope carrying the session script's connection numbers.
    bool sendEnveloped(std::string_view text, std::optional<std::size_t> link = {});
    bool sendEnvelopedBody(const Bytes& inner, std::optional<std::size_t> link = {});

private:
    void installLogin();
    void installSession();
    LoginScript loginScript();
    SessionScript sessionScript();

    std::mutex m_scriptMutex;
    LoginScript m_login;
    SessionScript m_session;
};

} // namespace testsupport
