// Observers whose work crosses to the main thread. The notification centre delivers on the poster's
// thread (a link's receive thread, a capture thread), while windows and the flows behind them live
// on the main thread: such an observer reads the notification where it is posted and acts later on
// the main queue. onMainQueue writes that hop once; it holds nothing itself, so the observation
// lasts as long as the token or ObserverSet that holds it. Any thread.
#pragma once

#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"

#include <functional>

namespace platform {

// The observer's part on the posting thread, inside the post: it takes from the notification
// (which ends with the post) what the main thread needs, does whatever must be done before the
// poster goes on, and returns the block for the main queue, or an empty block when there is nothing
// to do there. The block must hold what it touches (a shared or weak reference): once queued it
// runs even when the observation has ended since.
using MainQueueHandoff = std::function<Block(const Notification&)>;

// The handler that runs handoff on the posting thread and queues the block it returns on the main
// queue. An empty handoff gives an empty handler, which the centre refuses.
NotificationCenter::Handler onMainQueue(MainQueueHandoff handoff);

} // namespace platform
