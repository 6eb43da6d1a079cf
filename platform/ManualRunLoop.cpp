#include "platform/ManualRunLoop.h"

#include "platform/Log.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {
namespace {

// A worker's sleep on the virtual clock waits this much real time at most (see the header).
constexpr double kWorkerSleepSliceSeconds = 0.001;
// runUntilIdle() gives up after this many blocks: a block that re-posts itself for "now" forever
// is a bug in the test, and it should fail rather than hang.
constexpr int kMaxBlocksPerRun = 1'000'000;
// runUntil() looks at its predicate at least this often while it waits for other threads.
constexpr double kPredicatePollSeconds = 0.001;

} // namespace

struct ManualRunLoop::Impl {
    std::mutex mutex;
    std::condition_variable posted;
    double clock = 0.0;
    std::uint64_t nextSequence = 0;
    // Ordered by due time, then by posting order among blocks due at the same time.
    std::map<std::pair<double, std::uint64_t>, Block> queue;
    std::thread::id loopThread = std::this_thread::get_id();
    bool installed = false;
    std::vector<double> workerSleeps;

    // Takes the earliest block due at or before limit, moving the clock up to its due time.
    bool takeDue(double limit, Block& out) {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty())
            return false;
        auto first = queue.begin();
        if (first->first.first > limit)
            return false;
        clock = std::max(clock, first->first.first);
        out = std::move(first->second);
        queue.erase(first);
        return true;
    }
};

ManualRunLoop::ManualRunLoop() : m_impl(std::make_unique<Impl>()) {}

ManualRunLoop::~ManualRunLoop() {
    if (m_impl->installed && mainQueueBackend() == this)
        setMainQueueBackend(nullptr);
    // Pending blocks are destroyed outside the lock: their captures (timers, sync waiters) may
    // post or signal as they go.
    std::map<std::pair<double, std::uint64_t>, Block> pending;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        pending.swap(m_impl->queue);
    }
}

void ManualRunLoop::post(Block block, double delaySeconds) {
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        const double due = m_impl->clock + std::max(delaySeconds, 0.0);
        m_impl->queue.emplace(std::make_pair(due, m_impl->nextSequence++), std::move(block));
    }
    m_impl->posted.notify_all();
}

bool ManualRunLoop::isLoopThread() const {
    return std::this_thread::get_id() == m_impl->loopThread;
}

double ManualRunLoop::now() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->clock;
}

void ManualRunLoop::sleepFor(double seconds) {
    if (!(seconds > 0.0))
        return;
    if (isLoopThread()) {
        // The main thread sleeping holds up its own loop: the clock moves on and what fell due
        // meanwhile runs late, at the next runUntilIdle()/advance().
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->clock += seconds;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->workerSleeps.push_back(seconds);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, kWorkerSleepSliceSeconds)));
}

std::vector<double> ManualRunLoop::workerSleeps() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->workerSleeps;
}

int ManualRunLoop::runUntilIdle() {
    int ran = 0;
    Block block;
    while (ran < kMaxBlocksPerRun && m_impl->takeDue(now(), block)) {
        block();
        block = nullptr;
        ++ran;
    }
    if (ran == kMaxBlocksPerRun)
        logf("[ZQ]ManualRunLoop: %d blocks in one run; stopping (a block re-posts itself?)", ran);
    return ran;
}

void ManualRunLoop::advance(double seconds) {
    const double target = now() + std::max(seconds, 0.0);
    Block block;
    int ran = 0;
    while (ran < kMaxBlocksPerRun && m_impl->takeDue(target, block)) {
        block();
        block = nullptr;
        ++ran;
    }
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->clock = std::max(m_impl->clock, target);
}

bool ManualRunLoop::runUntil(const std::function<bool()>& predicate, double wallSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(std::max(wallSeconds, 0.0)));
    const auto pollSlice =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kPredicatePollSeconds));
    for (;;) {
        runUntilIdle();
        if (predicate())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        // Wake for a block posted for now, or after a slice to look at the predicate again: other
        // threads may make it true without posting anything.
        std::unique_lock<std::mutex> lock(m_impl->mutex);
        m_impl->posted.wait_until(lock, std::min(deadline, now + pollSlice), [&] {
            return !m_impl->queue.empty() && m_impl->queue.begin()->first.first <= m_impl->clock;
        });
    }
}

std::size_t ManualRunLoop::pendingCount() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->queue.size();
}

void ManualRunLoop::install() {
    m_impl->installed = true;
    setMainQueueBackend(this);
}

} // namespace platform
