#include "platform/SerialQueue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(SerialQueue, RunsBlocksInOrderOnOneNamedThread) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    char threadName[32] = {};
    {
        SerialQueue queue("ScreenCaptureQueue"); // longer than a Linux thread name allows
        EXPECT_EQ(queue.name(), "ScreenCaptureQueue");
        queue.sync([&] { pthread_getname_np(pthread_self(), threadName, sizeof threadName); });
        for (int i = 0; i < 100; ++i) {
            queue.async([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        }
    } // the destructor runs what is queued, then joins
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(std::string(threadName), "ScreenCaptureQu");
    for (const auto& id : threads)
        EXPECT_EQ(id, threads.front());
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(SerialQueue, SyncWaitsAndRunsInlineOnItsOwnWorker) {
    SerialQueue queue("q");
    EXPECT_FALSE(queue.isCurrent());
    std::atomic<int> counter{0};
    queue.async([&] { ++counter; });
    int seen = -1;
    queue.sync([&] {
        seen = counter.load();
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { ++counter; }); // nested: inline, no deadlock
    });
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(counter, 2);
}

TEST(SerialQueue, BlocksQueuedFromManyThreadsAllRun) {
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::atomic<int> ran{0};
    {
        SerialQueue queue("many");
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < kEach; ++i)
                    queue.async([&] { ++ran; });
            });
        }
        for (auto& t : threads)
            t.join();
    }
    EXPECT_EQ(ran, kThreads * kEach);
}

TEST(SerialQueue, DestroyedFromItsOwnBlock) {
    auto queue = std::make_shared<SerialQueue>("self");
    std::atomic<bool> laterRan{false};
    std::atomic<bool> done{false};
    queue->async([&, q = queue]() mutable {
        q->async([&] { laterRan = true; });
        q.reset(); // does not hold the last reference yet
    });
    queue->sync([] {});
    // Hand the last reference to a block: the queue is destroyed on its own worker.
    auto last = std::move(queue);
    last->async([&, q = last]() mutable {
        q.reset();
        done = true;
    });
    last.reset();
    while (!done)
        std::this_thread::yield();
    EXPECT_TRUE(laterRan);
}

} // namespace
} // namespace platform
