// The main queue's backend on Qt's event loop: blocks and timers of platform::mainQueue run on the
// Qt main thread, in due-time order and, among blocks due together, in posting order.
// Construct it on the Qt main thread after the QApplication; post() is thread-safe.
#pragma once

#include "platform/MainQueue.h"

#include <functional>
#include <memory>

namespace desktop {

class QtRunLoop : public platform::RunLoopBackend {
public:
    // Seconds of a monotonic clock; the default is the steady clock. Tests pass their own clock
    // and call runDue() to run blocks without waiting on wall time.
    using Clock = std::function<double()>;

    explicit QtRunLoop(Clock clock = {});
    ~QtRunLoop() override;
    QtRunLoop(const QtRunLoop&) = delete;
    QtRunLoop& operator=(const QtRunLoop&) = delete;

    void post(platform::Block block, double delaySeconds) override;
    bool isLoopThread() const override;
    double now() const override;
    void sleepFor(double seconds) override;

    // Runs the blocks due by now that were queued before the call (blocks they post wait for the
    // next turn of the event loop, so a block that re-posts itself cannot starve Qt's events).
    // Main thread only. Returns how many ran.
    int runDue();

    // Makes this loop the main queue's backend until it is destroyed.
    void install();

private:
    struct Impl;
    std::shared_ptr<Impl> m_impl;
    bool m_installed = false;
};

} // namespace desktop
