// Scripted teacher console.
#include "support/ConsolePeer.h"

namespace testsupport {

namespace {

constexpr const char* kHeartbeat = "[PC00003]";
constexpr const char* kHeartbeatAnswer = "[MV10002]";
constexpr const char* kFreeSlots = "[MV00007]";
constexpr const char* kVersion = "[MV00094]";

} // namespace

ConsolePeer::ConsolePeer() : ScriptedPeer("console") {
    onAccept([this](std::size_t link) { greet(link); });
    onCommand(kHeartbeat, [this](const PeerPacket& packet) {
        if (m_answerHeartbeat) {
            sendText(kHeartbeatAnswer, packet.link);
        }
    });
}

ConsolePeer::~ConsolePeer() {
    stop();
}

void ConsolePeer::setFreeSlots(std::optional<std::string> slots) {
    std::lock_guard lock(m_configMutex);
    m_freeSlots = std::move(slots);
}

void ConsolePeer::setVersion(std::optional<std::string> version) {
    std::lock_guard lock(m_configMutex);
    m_version = std::move(version);
}

void ConsolePeer::setGreeting(std::vector<std::string> texts) {
    std::lock_guard lock(m_configMutex);
    m_greeting = std::move(texts);
}

void ConsolePeer::setReplies(const std::string& code, std::vector<std::string> texts) {
    onCommand(code, [this, texts = std::move(texts)](const PeerPacket& packet) {
        for (const std::string& text : texts) {
            sendText(text, packet.link);
        }
    });
}

void ConsolePeer::greet(std::size_t link) {
    std::vector<std::string> texts;
    {
        std::lock_guard lock(m_configMutex);
        if (m_version) {
            texts.push_back(kVersion + *m_version);
        }
        if (m_freeSlots) {
            texts.push_back(kFreeSlots + *m_freeSlots);
        }
        texts.insert(texts.end(), m_greeting.begin(), m_greeting.end());
    }
    for (const std::string& text : texts) {
        sendText(text, link);
    }
}

} // namespace testsupport
