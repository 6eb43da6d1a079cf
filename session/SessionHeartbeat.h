// Session start and heartbeat, owned by the capture object: on "POST_MSG_RECEIVED_LOGIN_SUCCESS"
// it creates the login's client, hands it to the main window (through a hook the application sets,
// so this library needs no window code), connects it (through the relay when the login went that
// way, on either capture object) and keeps the link alive with "[PC00003]" every 10 seconds,
// reporting a silent console, or a session that could not start, as "READ_MSG_DISCONNECT". Login, arming and
// ticks run on the main thread; heartbeat packets are built and queued on the object's serial queue.
#pragma once

#include "client/ClientEvents.h"
#include "client/StudentClient.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace session {

inline constexpr const char* kLoginSuccessNotification = client::events::kLoginSuccess;
inline constexpr const char* kTimerIdKey = "id";
inline constexpr const char* kHeartbeatTimerId = "heartbeatCheck";
inline constexpr const char* kHeartbeatRelayTimerId = "heartbeatRelayTimer";
constexpr double kHeartbeatIntervalSeconds = 10.0;
// Ticks without an answer after which the link counts as lost.
constexpr std::int32_t kHeartbeatFailureLimit = 3;

class SessionHeartbeat : public std::enable_shared_from_this<SessionHeartbeat> {
public:
    // Gives the new client to whoever shows the session (the main window's controller).
    using ClientHandoff = std::function<void(const std::shared_ptr<client::StudentClient>&)>;
    // Makes the client of a new login (tests hand in their own notification centre this way).
    using ClientFactory = std::function<std::shared_ptr<client::StudentClient>()>;

    struct Options {
        bool logsHeartbeatFailure = true; // "[ZQ]Heartbeat failure:%d" at the third silent tick
        // The sender of "READ_MSG_DISCONNECT" posts: the capture object.
        const void* owner = nullptr;
    };

    static std::shared_ptr<SessionHeartbeat>
    create(Options options,
           platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    SessionHeartbeat(Options options, platform::NotificationCenter& center);
    ~SessionHeartbeat();
    SessionHeartbeat(const SessionHeartbeat&) = delete;
    SessionHeartbeat& operator=(const SessionHeartbeat&) = delete;

    // Observes the login notification on observers. Any thread.
    void observe(platform::ObserverSet& observers);
    void setClientHandoff(ClientHandoff handoff);
    void setClientFactory(ClientFactory factory);

    // Main thread.
    void callbackOnLoginSuccess(const platform::Notification& notification);
    void initHeartBeat();
    void initRelayHeartBeat();
    void heartbeatTimer(const platform::Dictionary& userInfo);
    void heartbeatRelayTimer(const platform::Dictionary& userInfo);

    // Waits until the heartbeat packets handed to the serial queue so far are queued on their link.
    void drainSendQueue();

private:
    // A chain of ticks keeps one link alive: the one the session's client named at login.
    using Link = client::StudentClient::Link;
    void arm(Link chain);
    void tick(Link chain, const platform::Dictionary& userInfo);
    std::shared_ptr<platform::Timer> schedule(Link chain);

    const Options m_options;
    platform::NotificationCenter& m_pNotificationCenter;
    platform::SerialQueue m_syncQueue;

    std::mutex m_lock; // guards the hooks and the timers
    ClientHandoff m_handoff;
    ClientFactory m_factory;
    std::shared_ptr<platform::Timer> m_heartBeatCheckTimer;
    std::shared_ptr<platform::Timer> m_heartBeatRelayCheckTimer;
};

} // namespace session
