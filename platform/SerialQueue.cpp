#include "platform/SerialQueue.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace platform {
namespace {

// Linux thread names hold 15 characters plus the terminating zero; a longer name is refused.
constexpr std::size_t kMaxThreadNameLength = 15;

// What the worker thread shares with the queue object. The worker holds its own reference, so a
// queue destroyed from one of its own blocks can let the worker finish the drain alone.
struct Shared {
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> blocks;
    bool stopping = false;
    std::atomic<std::thread::id> worker{};

    void run() {
        worker.store(std::this_thread::get_id());
        const std::string threadName = name.substr(0, kMaxThreadNameLength);
        pthread_setname_np(pthread_self(), threadName.c_str());
        for (;;) {
            std::function<void()> block;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stopping || !blocks.empty(); });
                if (blocks.empty())
                    return; // stopping, and everything queued has run
                block = std::move(blocks.front());
                blocks.pop_front();
            }
            block();
        }
    }
};

} // namespace

struct SerialQueue::Impl {
    std::shared_ptr<Shared> shared;
    std::thread thread;
};

SerialQueue::SerialQueue(std::string name) : m_impl(std::make_unique<Impl>()) {
    m_impl->shared = std::make_shared<Shared>();
    m_impl->shared->name = std::move(name);
    m_impl->thread = std::thread([shared = m_impl->shared] { shared->run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard<std::mutex> lock(m_impl->shared->mutex);
        m_impl->shared->stopping = true;
    }
    m_impl->shared->wake.notify_all();
    if (isCurrent()) {
        // Destroyed by one of its own blocks: the worker cannot join itself. It drains what is
        // left through its own reference to the shared state and then ends.
        m_impl->thread.detach();
        return;
    }
    m_impl->thread.join();
}

void SerialQueue::async(std::function<void()> block) {
    {
        std::lock_guard<std::mutex> lock(m_impl->shared->mutex);
        m_impl->shared->blocks.push_back(std::move(block));
    }
    m_impl->shared->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        block();
        // Signalled under the lock: the waiter's stack frame (this mutex and condition) is gone
        // as soon as it sees done.
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    });
    std::unique_lock<std::mutex> lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const {
    return m_impl->shared->worker.load() == std::this_thread::get_id();
}

const std::string& SerialQueue::name() const {
    return m_impl->shared->name;
}

} // namespace platform
