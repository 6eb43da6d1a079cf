// A run loop with a virtual clock, for tests. The thread that created it is the main thread.
// Blocks posted from any thread queue up; the test runs them with runUntilIdle()/advance().
#pragma once

#include "platform/MainQueue.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform {

class ManualRunLoop : public RunLoopBackend {
public:
    ManualRunLoop();
    ~ManualRunLoop() override;

    void post(Block block, double delaySeconds) override;
    bool isLoopThread() const override;
    double now() const override;
    // A worker's sleep waits one short real-time slice (1 ms at most) and returns, whatever the
    // seconds asked: it never depends on the virtual clock, so a worker that polls or waits "one
    // second" costs no wall time and cannot hang a test. Virtual seconds pass only through
    // advance(). On the loop thread itself a sleep moves the clock forward by seconds without
    // running anything (the loop was busy); what fell due runs at the next runUntilIdle/advance.
    void sleepFor(double seconds) override;

    // Runs every block that is due now, including those they post for now. Returns how many ran.
    // Called on the loop thread (the thread that created the loop), as are advance() and runUntil().
    int runUntilIdle();
    // Moves the clock forward by seconds, running each block when its time comes, in time order;
    // a block posted for "now" while advancing runs at the virtual time it was posted.
    void advance(double seconds);
    // Runs due blocks, waiting in real time (at most wallSeconds) for blocks posted from other
    // threads, until predicate() is true. Returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, double wallSeconds = 5.0);

    // Blocks queued and not yet run, due or not (any thread).
    std::size_t pendingCount() const;
    // The seconds each worker's sleep asked for, in the order asked (any thread): a pause that
    // costs no wall time here is still seen to be taken.
    std::vector<double> workerSleeps() const;

    // Installs this loop as the main queue's backend for its lifetime; the destructor uninstalls it
    // and destroys the blocks still queued (a mainQueue::sync waiting on one of them returns).
    void install();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
