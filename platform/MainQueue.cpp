#include "platform/MainQueue.h"

#include "platform/Log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace platform {
namespace {

// A repeating timer of interval 0 would re-arm for "now" forever and starve the loop; the system
// framework clamps to a tenth of a millisecond, and so do we.
constexpr double kMinimumTimerInterval = 0.0001;

// Posts hold the lock shared; uninstalling takes it exclusively, so a backend being uninstalled
// is never called after setMainQueueBackend(nullptr) returns.
std::shared_mutex& backendMutex() {
    static std::shared_mutex m;
    return m;
}
RunLoopBackend* g_backend = nullptr; // guarded by backendMutex()

bool postToBackend(Block block, double delaySeconds) {
    std::shared_lock<std::shared_mutex> lock(backendMutex());
    if (!g_backend)
        return false;
    g_backend->post(std::move(block), delaySeconds);
    return true;
}

// The state that mainQueue::sync waits on. Completion is signalled both when the block has run and
// when the posted copy is destroyed unrun (a loop torn down with blocks pending), so a sync caller
// is never left waiting for a block that will not run.
struct SyncWait {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;

    void finish() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        done.notify_all();
    }
};

struct SyncCompletion {
    explicit SyncCompletion(std::shared_ptr<SyncWait> w) : wait(std::move(w)) {}
    ~SyncCompletion() { wait->finish(); }
    SyncCompletion(const SyncCompletion&) = delete;
    SyncCompletion& operator=(const SyncCompletion&) = delete;
    std::shared_ptr<SyncWait> wait;
};

} // namespace

void setMainQueueBackend(RunLoopBackend* backend) {
    std::unique_lock<std::shared_mutex> lock(backendMutex());
    g_backend = backend;
}

RunLoopBackend* mainQueueBackend() {
    std::shared_lock<std::shared_mutex> lock(backendMutex());
    return g_backend;
}

namespace mainQueue {

void async(Block block) {
    if (!postToBackend(std::move(block), 0.0))
        logf("[ZQ]main queue has no run loop; block dropped");
}

void asyncAfter(double seconds, Block block) {
    if (!postToBackend(std::move(block), seconds))
        logf("[ZQ]main queue has no run loop; delayed block dropped");
}

void sync(const Block& block) {
    if (isMainThread()) {
        block();
        return;
    }
    auto wait = std::make_shared<SyncWait>();
    auto completion = std::make_shared<SyncCompletion>(wait);
    const bool posted = postToBackend(
        [&block, completion] {
            block();
            completion->wait->finish();
        },
        0.0);
    completion.reset();
    if (!posted) {
        logf("[ZQ]main queue has no run loop; sync block not run");
        return;
    }
    std::unique_lock<std::mutex> lock(wait->mutex);
    wait->done.wait(lock, [&] { return wait->finished; });
}

bool isMainThread() {
    std::shared_lock<std::shared_mutex> lock(backendMutex());
    return g_backend && g_backend->isLoopThread();
}

} // namespace mainQueue

double monotonicNow() {
    {
        std::shared_lock<std::shared_mutex> lock(backendMutex());
        if (g_backend)
            return g_backend->now();
    }
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sleepFor(double seconds) {
    if (!(seconds > 0.0))
        return;
    RunLoopBackend* backend = mainQueueBackend();
    // The sleep itself runs without the lock: uninstalling must not wait for a sleeper. A backend
    // is uninstalled only by its owner's thread, which does not sleep through it.
    if (backend) {
        backend->sleepFor(seconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct Timer::State {
    std::atomic<bool> valid{true};
};

Timer::Timer(double interval, bool repeats, Callback callback)
    : m_interval(repeats && interval < kMinimumTimerInterval ? kMinimumTimerInterval
                                                             : (interval > 0.0 ? interval : 0.0)),
      m_repeats(repeats), m_callback(std::move(callback)), m_state(std::make_shared<State>()) {}

std::shared_ptr<Timer> Timer::scheduled(double intervalSeconds, bool repeats, Callback callback) {
    auto timer = std::make_shared<Timer>(intervalSeconds, repeats, std::move(callback));
    timer->arm();
    return timer;
}

void Timer::invalidate() {
    m_state->valid.store(false);
}

bool Timer::isValid() const {
    return m_state->valid.load();
}

void Timer::arm() {
    // The pending block keeps the timer alive, as a run loop keeps its scheduled timers, until it
    // fires for the last time or finds the timer invalidated.
    auto self = shared_from_this();
    if (!postToBackend([self] { self->fire(); }, m_interval)) {
        logf("[ZQ]main queue has no run loop; timer not scheduled");
        m_state->valid.store(false);
    }
}

void Timer::fire() {
    if (!isValid())
        return;
    if (!m_repeats)
        m_state->valid.store(false);
    if (m_callback)
        m_callback(*this);
    if (m_repeats && isValid())
        arm();
}

} // namespace platform
