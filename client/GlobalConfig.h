// The process-wide login configuration: relay mode, teacher ID, the relay's address for the
// session, and whether the note tool may minimise. One instance, GlobalConfig::shared(). Written by
// the login window (main thread or its connection thread), read by the client object, capture,
// heartbeat and file transfer on their threads: booleans are atomic, strings are locked.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace client {

class GlobalConfig {
public:
    static GlobalConfig& shared();

    bool isRelayEnabled() const { return m_isRelayEnabled.load(); }
    void setIsRelayEnabled(bool value) { m_isRelayEnabled.store(value); }

    std::string strTeacherId() const;
    void setStrTeacherId(const std::string& value);

    std::string strRelayIp() const;
    void setStrRelayIp(const std::string& value);

    std::string strRelayPort() const;
    void setStrRelayPort(const std::string& value);

    bool isMinimizeEnabled() const { return m_isMinimizeEnabled.load(); }
    void setIsMinimizeEnabled(bool value) { m_isMinimizeEnabled.store(value); }

    // Back to the initial values (tests).
    void resetForTesting();

    GlobalConfig() = default;
    GlobalConfig(const GlobalConfig&) = delete;
    GlobalConfig& operator=(const GlobalConfig&) = delete;

private:
    std::atomic<bool> m_isRelayEnabled{false};
    std::atomic<bool> m_isMinimizeEnabled{false};
    mutable std::mutex m_lock;
    std::string m_strTeacherId;
    std::string m_strRelayIp;
    std::string m_strRelayPort;
};

} // namespace client
