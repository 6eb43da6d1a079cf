#include "streaming/H264DecodeData.h"

#include <deque>
#include <mutex>

namespace streaming {

namespace {
struct Queues {
    std::mutex lock;
    std::deque<std::shared_ptr<const H264DecodeData>> decoded;
    std::deque<std::shared_ptr<const H264DecodeData>> used;
};

Queues& queues() {
    static Queues instance;
    return instance;
}
} // namespace

void H264DecodeQueue::addYUVdata(std::shared_ptr<const H264DecodeData> frame) {
    if (!frame) {
        return;
    }
    std::deque<std::shared_ptr<const H264DecodeData>> dropped;
    {
        Queues& q = queues();
        std::lock_guard guard(q.lock);
        q.decoded.push_back(std::move(frame));
        while (q.decoded.size() > kMaxDecodedFrames) {
            dropped.push_back(std::move(q.decoded.front()));
            q.decoded.pop_front();
        }
    }
    // Freed here, outside the lock.
}

std::shared_ptr<const H264DecodeData> H264DecodeQueue::getH264DecodeData() {
    Queues& q = queues();
    std::lock_guard guard(q.lock);
    return q.decoded.empty() ? nullptr : q.decoded.front();
}

void H264DecodeQueue::removeDecodeData() {
    Queues& q = queues();
    std::lock_guard guard(q.lock);
    if (!q.decoded.empty()) {
        q.decoded.pop_front();
    }
}

void H264DecodeQueue::addDecodeDataUsed(std::shared_ptr<const H264DecodeData> frame) {
    if (!frame) {
        return;
    }
    Queues& q = queues();
    std::lock_guard guard(q.lock);
    q.used.push_back(std::move(frame));
}

void H264DecodeQueue::removeH264DecodeDataUsed() {
    std::deque<std::shared_ptr<const H264DecodeData>> released;
    {
        Queues& q = queues();
        std::lock_guard guard(q.lock);
        released.swap(q.used);
    }
    // Frames are freed here, oldest first, outside the lock.
    while (!released.empty()) {
        released.pop_front();
    }
}

std::size_t H264DecodeQueue::decodedCount() {
    Queues& q = queues();
    std::lock_guard guard(q.lock);
    return q.decoded.size();
}

std::size_t H264DecodeQueue::usedCount() {
    Queues& q = queues();
    std::lock_guard guard(q.lock);
    return q.used.size();
}

} // namespace streaming
