#include "client/GlobalConfig.h"

#include <memory>

namespace client {

GlobalConfig& GlobalConfig::shared() {
    // Never destroyed: threads of the session may read it while the process ends.
    static GlobalConfig* const instance = std::make_unique<GlobalConfig>().release();
    return *instance;
}

std::string GlobalConfig::strTeacherId() const {
    std::lock_guard lock(m_lock);
    return m_strTeacherId;
}

void GlobalConfig::setStrTeacherId(const std::string& value) {
    std::lock_guard lock(m_lock);
    m_strTeacherId = value;
}

std::string GlobalConfig::strRelayIp() const {
    std::lock_guard lock(m_lock);
    return m_strRelayIp;
}

void GlobalConfig::setStrRelayIp(const std::string& value) {
    std::lock_guard lock(m_lock);
    m_strRelayIp = value;
}

std::string GlobalConfig::strRelayPort() const {
    std::lock_guard lock(m_lock);
    return m_strRelayPort;
}

void GlobalConfig::setStrRelayPort(const std::string& value) {
    std::lock_guard lock(m_lock);
    m_strRelayPort = value;
}

void GlobalConfig::resetForTesting() {
    m_isRelayEnabled.store(false);
    m_isMinimizeEnabled.store(false);
    std::lock_guard lock(m_lock);
    m_strTeacherId.clear();
    m_strRelayIp.clear();
    m_strRelayPort.clear();
}

} // namespace client
