#include "platform/MainQueue.h"
#include "platform/ManualRunLoop.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace platform {
namespace {

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override { m_loop.install(); }
    ManualRunLoop m_loop;
};

TEST_F(RunLoopTest, DelayedBlocksRunInTimeOrderAtTheirVirtualTime) {
    std::vector<std::pair<std::string, double>> ran;
    auto record = [&](std::string name) { return [&ran, name] { ran.emplace_back(name, monotonicNow()); }; };
    mainQueue::asyncAfter(3.0, record("c"));
    mainQueue::asyncAfter(1.0, record("a"));
    mainQueue::asyncAfter(1.0, record("b")); // same time: posting order
    mainQueue::async(record("now"));
    mainQueue::asyncAfter(2.0, [&] {
        ran.emplace_back("two", monotonicNow());
        // Posted for "now" while advancing: runs at 2.0, before the block due at 3.0.
        mainQueue::async(record("posted-at-two"));
        mainQueue::asyncAfter(0.5, record("two-and-a-half"));
    });
    EXPECT_EQ(m_loop.runUntilIdle(), 1);
    m_loop.advance(10.0);
    const std::vector<std::pair<std::string, double>> expected = {
        {"now", 0.0}, {"a", 1.0}, {"b", 1.0}, {"two", 2.0}, {"posted-at-two", 2.0}, {"two-and-a-half", 2.5},
        {"c", 3.0}};
    EXPECT_EQ(ran, expected);
    EXPECT_DOUBLE_EQ(monotonicNow(), 10.0);
}

TEST_F(RunLoopTest, NothingRunsBeforeItsTime) {
    int ran = 0;
    mainQueue::asyncAfter(5.0, [&] { ++ran; });
    m_loop.advance(4.999);
    EXPECT_EQ(ran, 0);
    m_loop.advance(0.001);
    EXPECT_EQ(ran, 1);
}

TEST_F(RunLoopTest, RepeatingTimerFiresEveryIntervalUntilInvalidated) {
    int fires = 0;
    std::vector<double> times;
    auto timer = Timer::scheduled(10.0, true, [&](Timer&) {
        ++fires;
        times.push_back(monotonicNow());
    });
    m_loop.advance(35.0);
    EXPECT_EQ(fires, 3);
    EXPECT_EQ(times, (std::vector<double>{10.0, 20.0, 30.0}));
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    m_loop.advance(100.0);
    EXPECT_EQ(fires, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, OneShotTimerFiresOnceAndInvalidatesItself) {
    int fires = 0;
    auto timer = Timer::scheduled(0.5, false, [&](Timer&) { ++fires; });
    m_loop.advance(0.4);
    EXPECT_EQ(fires, 0);
    m_loop.advance(10.0);
    EXPECT_EQ(fires, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, TimerInvalidatedFromItsCallbackAndFromAnotherThread) {
    int fires = 0;
    Timer::scheduled(1.0, true, [&](Timer& t) {
        if (++fires == 2)
            t.invalidate();
    });
    m_loop.advance(10.0);
    EXPECT_EQ(fires, 2);

    int otherFires = 0;
    auto timer = Timer::scheduled(1.0, true, [&](Timer&) { ++otherFires; });
    m_loop.advance(1.0);
    std::thread([&] { timer->invalidate(); }).join();
    m_loop.advance(10.0);
    EXPECT_EQ(otherFires, 1);
}

TEST_F(RunLoopTest, ZeroIntervalRepeatingTimerDoesNotStarveTheLoop) {
    int fires = 0;
    auto timer = Timer::scheduled(0.0, true, [&](Timer&) { ++fires; });
    EXPECT_EQ(m_loop.runUntilIdle(), 0);
    m_loop.advance(0.001);
    EXPECT_GT(fires, 0);
    timer->invalidate();
}

TEST_F(RunLoopTest, SyncFromWorkerRunsOnMainThreadAndRunUntilWaitsForIt) {
    EXPECT_TRUE(mainQueue::isMainThread());
    std::atomic<bool> ranOnMain{false}, workerDone{false};
    std::thread worker([&] {
        EXPECT_FALSE(mainQueue::isMainThread());
        mainQueue::sync([&] { ranOnMain = mainQueue::isMainThread(); });
        workerDone = true;
    });
    EXPECT_TRUE(m_loop.runUntil([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnMain);

    bool inline_ = false;
    mainQueue::sync([&] { inline_ = true; }); // on the main thread: at once
    EXPECT_TRUE(inline_);
}

TEST_F(RunLoopTest, RunUntilGivesUpAfterItsWallTime) {
    EXPECT_FALSE(m_loop.runUntil([] { return false; }, 0.01));
}

TEST(RunLoopLifetime, DestroyedLoopReleasesSyncWaitersAndUninstalls) {
    std::atomic<bool> returned{false};
    std::thread worker;
    {
        ManualRunLoop loop;
        loop.install();
        worker = std::thread([&] {
            mainQueue::sync([] { ADD_FAILURE() << "must not run: the loop is gone"; });
            returned = true;
        });
        while (loop.pendingCount() == 0)
            std::this_thread::yield();
        EXPECT_FALSE(returned);
    }
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(mainQueueBackend(), nullptr);
}

TEST(RunLoopLifetime, WithoutBackendBlocksAreDroppedAndClockIsReal) {
    ASSERT_EQ(mainQueueBackend(), nullptr);
    bool ran = false;
    mainQueue::async([&] { ran = true; });
    EXPECT_FALSE(ran);
    auto timer = Timer::scheduled(1.0, false, [](Timer&) {});
    EXPECT_FALSE(timer->isValid()); // nothing will ever fire it
    const double before = monotonicNow();
    sleepFor(0.001);
    EXPECT_GT(monotonicNow(), before);
}

TEST_F(RunLoopTest, WorkerSleepIsCheapAndMainThreadSleepMovesTheClock) {
    std::thread([] { sleepFor(3600.0); }).join(); // returns after a slice, not an hour
    EXPECT_DOUBLE_EQ(monotonicNow(), 0.0);
    int ran = 0;
    mainQueue::asyncAfter(0.01, [&] { ++ran; });
    sleepFor(0.025); // the main thread is busy: the block is late, run at the next turn
    EXPECT_EQ(ran, 0);
    EXPECT_DOUBLE_EQ(monotonicNow(), 0.025);
    EXPECT_EQ(m_loop.runUntilIdle(), 1);
}

} // namespace
} // namespace platform
