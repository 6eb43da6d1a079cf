// A scripted teacher console: greets every link with its version and free slots, answers the
// heartbeat, and otherwise does what the test scripts. Threads as ScriptedPeer; setters may be
// called from the test thread at any time.
#pragma once

#include "support/ScriptedPeer.h"

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ConsolePeer : public ScriptedPeer {
public:
    static constexpr const char* kDefaultFreeSlots = "1,2,3";

    ConsolePeer();
    ~ConsolePeer() override;

    // Sent as "[MV00007]" + slots on each new link; nullopt sends none.
    void setFreeSlots(std::optional<std::string> slots);
    // Sent as "[MV00094]" + version on each new link, before the slots; nullopt (the default) sends none.
    void setVersion(std::optional<std::string> version);
    // Further texts sent on each new link after the slots.
    void setGreeting(std::vector<std::string> texts);
    // "[MV10002]" on every "[PC00003]"; off makes the console go silent.
    void setHeartbeatAnswers(bool on) { m_answerHeartbeat = on; }
    // Answers each arrival of code with the given texts, in order, on the link it came from.
    void setReplies(const std::string& code, std::vector<std::string> texts);

private:
    void greet(std::size_t link);

    std::mutex m_configMutex;
    std::optional<std::string> m_freeSlots{kDefaultFreeSlots};
    std::optional<std::string> m_version;
    std::vector<std::string> m_greeting;
    std::atomic<bool> m_answerHeartbeat{true};
};

} // namespace testsupport
