#include "platform/MainQueueObserver.h"

#include <utility>

namespace platform {

NotificationCenter::Handler onMainQueue(MainQueueHandoff handoff) {
    if (!handoff)
        return {};
    return [handoff = std::move(handoff)](const Notification& note) {
        if (Block block = handoff(note))
            mainQueue::async(std::move(block));
    };
}

} // namespace platform
