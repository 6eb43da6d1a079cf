#include "session/SessionHeartbeat.h"

#include "client/ClientEvents.h"
#include "platform/Log.h"

namespace session {

std::shared_ptr<SessionHeartbeat> SessionHeartbeat::create(Options options,
                                                           platform::NotificationCenter& center) {
    return std::make_shared<SessionHeartbeat>(options, center);
}

SessionHeartbeat::SessionHeartbeat(Options options, platform::NotificationCenter& center)
    : m_options(options), m_pNotificationCenter(center), m_syncQueue("olvex.capture.heartbeat") {}

SessionHeartbeat::~SessionHeartbeat() {
    std::lock_guard lock(m_lock);
    for (auto* timer : {&m_heartBeatCheckTimer, &m_heartBeatRelayCheckTimer}) {
        if (*timer) {
            (*timer)->invalidate();
        }
    }
}

void SessionHeartbeat::observe(platform::ObserverSet& observers) {
    std::weak_ptr<SessionHeartbeat> weak = weak_from_this();
    observers.add(kLoginSuccessNotification, nullptr, [weak](const platform::Notification& note) {
        if (auto self = weak.lock()) {
            self->callbackOnLoginSuccess(note);
        }
    });
}

void SessionHeartbeat::setClientHandoff(ClientHandoff handoff) {
    std::lock_guard lock(m_lock);
    m_handoff = std::move(handoff);
}

void SessionHeartbeat::setClientFactory(ClientFactory factory) {
    std::lock_guard lock(m_lock);
    m_factory = std::move(factory);
}

void SessionHeartbeat::callbackOnLoginSuccess(const platform::Notification& /*notification*/) {
    ClientHandoff handoff;
    ClientFactory factory;
    {
        std::lock_guard lock(m_lock);
        handoff = m_handoff;
        factory = m_factory;
    }
    std::shared_ptr<client::StudentClient> studentClient =
        factory ? factory() : client::StudentClient::create(m_pNotificationCenter);
    if (!studentClient) {
        platform::logf("[ZQ]No client object for the new session");
        return;
    }
    // The main window learns the new client first: replacing the stored client tears the old one
    // down, and its links' last disconnect must find the main window already on the new session,
    // not take it for the new session's loss.
    if (handoff) {
        handoff(studentClient);
    }
    client::setGStudentClient(studentClient);

    // The login window's way decides, whichever capture object runs: a session that logged in
    // through the relay has no direct address to connect to.
    const bool relay = studentClient->sessionLink() == Link::Relay;
    if (!studentClient->connectSession()) {
        // Without a link and without a heartbeat the teacher would never see this seat again, and
        // ending quietly would leave the student guessing: take the lost-link road, which tells the
        // student and ends the agent.
        platform::logf("%s session could not start: %s", relay ? "[ZQ_RELAY]Relay" : "[ZQ]Direct",
                       studentClient->connectFailure().c_str());
        m_pNotificationCenter.post(client::events::kDisconnect, m_options.owner);
        return;
    }
    if (relay) {
        platform::logf("[ZQ]login success");
        initRelayHeartBeat();
    } else {
        initHeartBeat();
    }
}

void SessionHeartbeat::initHeartBeat() {
    arm(Link::Direct);
}

void SessionHeartbeat::initRelayHeartBeat() {
    arm(Link::Relay);
}

void SessionHeartbeat::arm(Link chain) {
    std::weak_ptr<SessionHeartbeat> weak = weak_from_this();
    platform::mainQueue::async([weak, chain] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        std::shared_ptr<platform::Timer> timer = self->schedule(chain);
        std::lock_guard lock(self->m_lock);
        auto& slot = chain == Link::Direct ? self->m_heartBeatCheckTimer : self->m_heartBeatRelayCheckTimer;
        // One chain per kind: a second login replaces the first chain instead of running beside it
        // (two chains on one failure count would report a lost link in half the time).
        if (slot) {
            slot->invalidate();
        }
        slot = std::move(timer);
    });
}

std::shared_ptr<platform::Timer> SessionHeartbeat::schedule(Link chain) {
    std::weak_ptr<SessionHeartbeat> weak = weak_from_this();
    platform::Dictionary userInfo{
        {kTimerIdKey, chain == Link::Direct ? kHeartbeatTimerId : kHeartbeatRelayTimerId}};
    return platform::Timer::scheduled(kHeartbeatIntervalSeconds, false,
                                      [weak, chain, userInfo](platform::Timer&) {
                                          if (auto self = weak.lock()) {
                                              if (chain == Link::Direct) {
                                                  self->heartbeatTimer(userInfo);
                                              } else {
                                                  self->heartbeatRelayTimer(userInfo);
                                              }
                                          }
                                      });
}

void SessionHeartbeat::heartbeatTimer(const platform::Dictionary& userInfo) {
    tick(Link::Direct, userInfo);
}

void SessionHeartbeat::heartbeatRelayTimer(const platform::Dictionary& userInfo) {
    tick(Link::Relay, userInfo);
}

void SessionHeartbeat::tick(Link chain, const platform::Dictionary& userInfo) {
    const char* ownId = chain == Link::Direct ? kHeartbeatTimerId : kHeartbeatRelayTimerId;
    auto id = userInfo.find(kTimerIdKey);
    if (id == userInfo.end() || id->second != ownId) {
        return;
    }
    std::shared_ptr<client::StudentClient> studentClient = client::gStudentClient();
    // Counted in one atomic step, and before the heartbeat is queued: a console that answers at
    // once resets the count after this tick's increment, never before it (which would leave the
    // answer overwritten and report a live console as lost two ticks later).
    const std::int32_t failures = studentClient ? studentClient->incrementHeartBeatFailureCnt() : 0;
    if (failures == 1) {
        m_syncQueue.async([chain] {
            // The client current when the packet is built, as every tick reads it anew.
            if (auto current = client::gStudentClient()) {
                current->sendHeartbeat(chain);
            }
        });
    }
    {
        std::shared_ptr<platform::Timer> next = schedule(chain);
        std::lock_guard lock(m_lock);
        (chain == Link::Direct ? m_heartBeatCheckTimer : m_heartBeatRelayCheckTimer) = std::move(next);
    }
    if (failures == kHeartbeatFailureLimit) {
        if (m_options.logsHeartbeatFailure) {
            if (chain == Link::Direct) {
                platform::logf("[ZQ]Heartbeat failure:%d", failures);
            } else {
                platform::logf("[ZQ_RELAY]Heartbeat failure:%d", failures);
            }
        }
        m_pNotificationCenter.post(client::events::kDisconnect, m_options.owner);
    }
}

void SessionHeartbeat::drainSendQueue() {
    m_syncQueue.sync([] {});
}

} // namespace session
