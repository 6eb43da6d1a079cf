#include "platform/NotificationCenter.h"

#include "platform/MainQueueObserver.h"
#include "platform/ManualRunLoop.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(NotificationCenter, DeliversInAddOrderOnThePostersThread) {
    NotificationCenter center;
    std::vector<int> order;
    std::thread::id deliveredOn;
    center.addObserver("POST_MSG_A", nullptr, [&](const Notification&) { order.push_back(1); });
    center.addObserver("POST_MSG_A", nullptr, [&](const Notification& n) {
        order.push_back(2);
        deliveredOn = std::this_thread::get_id();
        ASSERT_NE(n.dictionary(), nullptr);
        EXPECT_EQ(n.dictionary()->at("lock"), "true");
    });
    center.addObserver("POST_MSG_B", nullptr, [&](const Notification&) { order.push_back(99); });
    center.addObserver("POST_MSG_A", nullptr, [&](const Notification&) { order.push_back(3); });

    std::thread poster([&] { center.post("POST_MSG_A", nullptr, Dictionary{{"lock", "true"}}); });
    const auto posterId = poster.get_id();
    poster.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(deliveredOn, posterId);
}

TEST(NotificationCenter, SenderFilter) {
    NotificationCenter center;
    int a = 0, b = 0;
    int fromA = 0, fromAnyone = 0;
    center.addObserver("N", &a, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &a);
        ++fromA;
    });
    center.addObserver("N", nullptr, [&](const Notification&) { ++fromAnyone; });
    center.post("N", &a);
    center.post("N", &b);
    center.post("N");
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromAnyone, 3);
}

struct Record {
    explicit Record(std::atomic<int>& freed) : m_freed(freed) {}
    ~Record() { ++m_freed; }
    std::atomic<int>& m_freed;
};

TEST(NotificationCenter, SharedPayloadFreedOnceWhetherObservedOrNot) {
    NotificationCenter center;
    std::atomic<int> freed{0};
    center.post("READ_MSG_NOBODY", nullptr, std::make_shared<Record>(freed));
    EXPECT_EQ(freed, 1);

    std::shared_ptr<Record> kept;
    center.addObserver("READ_MSG_X", nullptr, [&](const Notification& n) { kept = n.shared<Record>(); });
    center.post("READ_MSG_X", nullptr, std::make_shared<Record>(freed));
    EXPECT_EQ(freed, 1);
    ASSERT_NE(kept, nullptr);
    kept.reset();
    EXPECT_EQ(freed, 2);
}

TEST(NotificationCenter, RemovedObserverNeverCalledAndCounted) {
    NotificationCenter center;
    int calls = 0;
    const auto token = center.addObserver("N", nullptr, [&](const Notification&) { ++calls; });
    EXPECT_EQ(center.observerCount("N"), 1u);
    center.post("N");
    center.removeObserver(token);
    center.removeObserver(token); // a second removal is harmless
    center.post("N");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST(NotificationCenter, ReentrantPostAddAndRemoveFromHandler) {
    NotificationCenter center;
    std::vector<std::string> seen;
    ObserverToken self = kNoObserver, later = kNoObserver;
    self = center.addObserver("FIRST", nullptr, [&](const Notification&) {
        seen.push_back("first");
        center.removeObserver(self);  // returns at once: this is its own delivery
        center.removeObserver(later); // removed before its turn in this same post
        center.addObserver("SECOND", nullptr, [&](const Notification&) { seen.push_back("second"); });
        center.post("SECOND");
    });
    later = center.addObserver("FIRST", nullptr, [&](const Notification&) { seen.push_back("later"); });
    center.post("FIRST");
    center.post("FIRST");
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
}

TEST(NotificationCenter, EmptyHandlerIsRefused) {
    NotificationCenter center;
    EXPECT_EQ(center.addObserver("N", nullptr, nullptr), kNoObserver);
    center.post("N"); // nothing to call, nothing to crash
    EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST(NotificationCenter, ObserverSetRemovesAllOnDestruction) {
    NotificationCenter center;
    int calls = 0;
    {
        ObserverSet set(center);
        set.add("A", nullptr, [&](const Notification&) { ++calls; });
        set.add("B", nullptr, [&](const Notification&) { ++calls; });
        EXPECT_FALSE(set.empty());
        center.post("A");
    }
    center.post("A");
    center.post("B");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount("A") + center.observerCount("B"), 0u);
}

// A delivery on another thread is in progress when removeObserver is called: the removal must
// wait for it to end, and nothing may be delivered afterwards.
TEST(NotificationCenter, RemovalWaitsForDeliveryRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> inHandler{false}, release{false}, handlerDone{false};
    std::atomic<int> callsAfterRemoval{0};
    std::atomic<bool> removed{false};
    const auto token = center.addObserver("N", nullptr, [&](const Notification&) {
        if (removed)
            ++callsAfterRemoval;
        inHandler = true;
        while (!release)
            std::this_thread::yield();
        handlerDone = true;
    });
    std::thread poster([&] { center.post("N"); });
    while (!inHandler)
        std::this_thread::yield();
    std::thread remover([&] {
        center.removeObserver(token);
        // The delivery had to finish before the removal returned.
        EXPECT_TRUE(handlerDone.load());
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5)); // give the remover time to block
    EXPECT_FALSE(removed.load());
    release = true;
    remover.join();
    poster.join();
    center.post("N");
    EXPECT_EQ(callsAfterRemoval, 0);
}

TEST(NotificationCenter, ConcurrentPostingAndRemoval) {
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 2000;
    constexpr int kChurners = 2;
    NotificationCenter center;
    std::atomic<long> permanentCalls{0};
    center.addObserver("N", nullptr, [&](const Notification& n) {
        ASSERT_NE(n.dictionary(), nullptr);
        ++permanentCalls;
    });
    std::atomic<bool> stop{false};
    std::atomic<int> violations{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kChurners; ++c) {
        threads.emplace_back([&] {
            while (!stop) {
                // The flag lives on this stack frame: once removeObserver returns, touching it
                // from a handler would be a use after scope (and counts as a violation).
                auto alive = std::make_shared<std::atomic<bool>>(true);
                const auto token =
                    center.addObserver("N", nullptr, [&violations, alive](const Notification&) {
                        if (!*alive)
                            ++violations;
                    });
                std::this_thread::yield();
                center.removeObserver(token);
                *alive = false;
            }
        });
    }
    for (int p = 0; p < kPosters; ++p) {
        threads.emplace_back([&] {
            for (int i = 0; i < kPostsEach; ++i)
                center.post("N", nullptr, Dictionary{{"i", std::to_string(i)}});
        });
    }
    for (int p = 0; p < kPosters; ++p)
        threads[static_cast<std::size_t>(kChurners + p)].join();
    stop = true;
    for (int c = 0; c < kChurners; ++c)
        threads[static_cast<std::size_t>(c)].join();
    EXPECT_EQ(permanentCalls, kPosters * kPostsEach);
    EXPECT_EQ(violations, 0);
    EXPECT_EQ(center.observerCount("N"), 1u);
}

// The hop of an observer that acts on the main thread: its handoff runs on the poster's thread
// during the post, the block it returns only when the main queue runs, and an empty block queues
// nothing. Once the observation is gone a post queues nothing; a block queued before still runs.
TEST(MainQueueObserver, HandsOffOnThePostersThreadAndActsOnTheMainQueueWhileObserved) {
    ManualRunLoop loop;
    loop.install();
    NotificationCenter center;
    std::thread::id handedOffOn;
    std::vector<std::string> ran;
    bool ranOnMain = true;
    {
        ObserverSet observers(center);
        observers.add("POST_MSG_A", nullptr, onMainQueue([&](const Notification& n) -> Block {
                          handedOffOn = std::this_thread::get_id();
                          std::string lock = n.value("lock");
                          if (lock.empty())
                              return {};
                          return [&ran, &ranOnMain, lock] {
                              ranOnMain = ranOnMain && mainQueue::isMainThread();
                              ran.push_back(lock);
                          };
                      }));
        std::thread poster([&] {
            center.post("POST_MSG_A", nullptr, Dictionary{{"lock", "true"}});
            center.post("POST_MSG_A"); // nothing for the main queue
        });
        const auto posterId = poster.get_id();
        poster.join();
        EXPECT_EQ(handedOffOn, posterId);
        EXPECT_TRUE(ran.empty());
        EXPECT_EQ(loop.pendingCount(), 1u);
        loop.runUntilIdle();
        EXPECT_EQ(ran, (std::vector<std::string>{"true"}));
        center.post("POST_MSG_A", nullptr, Dictionary{{"lock", "false"}});
    }
    center.post("POST_MSG_A", nullptr, Dictionary{{"lock", "after"}});
    EXPECT_EQ(center.observerCount("POST_MSG_A"), 0u);
    EXPECT_EQ(loop.pendingCount(), 1u);
    loop.runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"true", "false"}));
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(center.addObserver("POST_MSG_A", nullptr, onMainQueue(nullptr)), kNoObserver);
}

} // namespace
} // namespace platform
