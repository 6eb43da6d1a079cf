// The main queue: blocks and timers that run on the main thread's run loop. In the program the
// backend is Qt's event loop (platform/desktop); in tests it is a ManualRunLoop with virtual time,
// so a 10-second heartbeat costs no wall time.
#pragma once

#include <functional>
#include <memory>

namespace platform {

using Block = std::function<void()>;

// What a run loop must offer the main queue. Implementations are thread-safe for every call.
class RunLoopBackend {
public:
    virtual ~RunLoopBackend() = default;
    // Runs block on the loop's thread after delaySeconds (0: as soon as possible), in posting order
    // among blocks due at the same time.
    virtual void post(Block block, double delaySeconds) = 0;
    // True on the loop's own thread.
    virtual bool isLoopThread() const = 0;
    // Monotonic seconds of this loop's clock (virtual in tests).
    virtual double now() const = 0;
    // Blocks the calling (non-loop) thread for the given time of this loop's clock.
    virtual void sleepFor(double seconds) = 0;
};

// Installs the backend of the main queue; the caller keeps it alive while it is installed.
// Passing nullptr uninstalls it (blocks posted afterwards are dropped).
void setMainQueueBackend(RunLoopBackend* backend);
RunLoopBackend* mainQueueBackend();

namespace mainQueue {
void async(Block block);
void asyncAfter(double seconds, Block block);
// Runs block on the main thread and waits for it; runs it at once when already on the main thread.
// Without a backend, or when the loop is destroyed before running it, the block is dropped (logged)
// and sync returns.
void sync(const Block& block);
bool isMainThread();
} // namespace mainQueue

// The main loop's clock, and a sleep measured by it (a worker's "wait one second").
double monotonicNow();
void sleepFor(double seconds);

// A one-shot or repeating timer on the main run loop. Callbacks run on the main thread.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Callback = std::function<void(Timer&)>;

    static std::shared_ptr<Timer> scheduled(double intervalSeconds, bool repeats, Callback callback);

    void invalidate();
    bool isValid() const;
    double interval() const { return m_interval; }

    Timer(double interval, bool repeats, Callback callback);

private:
    void arm();
    void fire();

    double m_interval;
    bool m_repeats;
    Callback m_callback;
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace platform
