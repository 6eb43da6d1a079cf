#include "platform/desktop/QtRunLoop.h"

#include "QtTestApp.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using desktop::QtRunLoop;

// A clock the test moves by hand, so delayed blocks are checked without waiting.
struct FakeClock {
    double seconds = 100.0;
    QtRunLoop::Clock fn() {
        return [this] { return seconds; };
    }
};

TEST(QtRunLoop, RunsDueBlocksInTimeThenPostingOrder) {
    testing_support::qtApp();
    FakeClock clock;
    QtRunLoop loop(clock.fn());
    std::string order;
    loop.post([&] { order += "c"; }, 2.0);
    loop.post([&] { order += "a"; }, 0.0);
    loop.post([&] { order += "d"; }, 2.0);
    loop.post([&] { order += "b"; }, 1.0);

    EXPECT_EQ(loop.runDue(), 1);
    EXPECT_EQ(order, "a");
    clock.seconds += 0.999;
    EXPECT_EQ(loop.runDue(), 0);
    clock.seconds += 0.001;
    EXPECT_EQ(loop.runDue(), 1);
    clock.seconds += 5.0;
    EXPECT_EQ(loop.runDue(), 2);
    EXPECT_EQ(order, "abcd");
}

TEST(QtRunLoop, BlockPostedWhileRunningWaitsForTheNextTurn) {
    testing_support::qtApp();
    FakeClock clock;
    QtRunLoop loop(clock.fn());
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again, 0.0);
    };
    loop.post(again, 0.0);
    EXPECT_EQ(loop.runDue(), 1);
    EXPECT_EQ(loop.runDue(), 1);
    EXPECT_EQ(runs, 2);
}

TEST(QtRunLoop, NegativeOrNanDelayRunsAtOnce) {
    testing_support::qtApp();
    FakeClock clock;
    QtRunLoop loop(clock.fn());
    int runs = 0;
    loop.post([&] { ++runs; }, -3.0);
    loop.post([&] { ++runs; }, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(loop.runDue(), 2);
    EXPECT_EQ(runs, 2);
}

// Runs Qt's events until predicate holds (bounded, never a fixed sleep).
bool processUntil(const std::function<bool()>& predicate) {
    constexpr int kLimitMs = 5000;
    QDeadlineTimer deadline(kLimitMs);
    while (!predicate() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    return predicate();
}

TEST(QtRunLoop, MainQueueRunsOnQtEventLoopFromOtherThreads) {
    testing_support::qtApp();
    QtRunLoop loop;
    loop.install();
    const auto mainThread = std::this_thread::get_id();

    std::vector<int> order;
    std::atomic<bool> syncDone{false};
    std::atomic<bool> syncOnMain{false};
    std::thread worker([&] {
        platform::mainQueue::async([&] { order.push_back(1); });
        platform::mainQueue::async([&] { order.push_back(2); });
        platform::mainQueue::sync([&] {
            syncOnMain = std::this_thread::get_id() == mainThread;
            order.push_back(3);
        });
        syncDone = true;
    });
    EXPECT_TRUE(processUntil([&] { return syncDone.load(); }));
    worker.join();
    EXPECT_TRUE(syncOnMain);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(platform::mainQueue::isMainThread());
}

TEST(QtRunLoop, TimersFireOnQtEventLoop) {
    testing_support::qtApp();
    QtRunLoop loop;
    loop.install();
    int ticks = 0;
    auto timer = platform::Timer::scheduled(0.001, true, [&](platform::Timer& t) {
        if (++ticks == 3)
            t.invalidate();
    });
    bool late = false;
    platform::mainQueue::asyncAfter(0.002, [&] { late = true; });
    EXPECT_TRUE(processUntil([&] { return ticks == 3 && late; }));
    EXPECT_FALSE(timer->isValid());
}

TEST(QtRunLoop, UninstallsItselfWhenDestroyed) {
    testing_support::qtApp();
    {
        QtRunLoop loop;
        loop.install();
        EXPECT_EQ(platform::mainQueueBackend(), &loop);
    }
    EXPECT_EQ(platform::mainQueueBackend(), nullptr);
}

} // namespace
