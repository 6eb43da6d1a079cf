#include "viewer/ParallelWork.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace viewer {

namespace {
// What the calling thread and the workers share. Workers hold it, not the caller's frame: one that
// starts late finds every piece taken and leaves without touching anything else.
struct Pieces {
    explicit Pieces(std::size_t count, const std::function<void(std::size_t)>& work)
        : count(count), done(static_cast<std::ptrdiff_t>(count)), work(work) {}

    // Takes pieces until none is left.
    void runSome() {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            work(i);
            done.count_down();
        }
    }

    const std::size_t count;
    std::atomic<std::size_t> next{0};
    std::latch done;
    const std::function<void(std::size_t)>& work; // used only while a piece is untaken
};

// The calling thread works too, so one worker fewer than the pieces keeps every core busy.
class Workers {
public:
    static Workers& shared() {
        static Workers workers(kParallelPieces - 1);
        return workers;
    }

    void post(std::function<void()> task) {
        {
            std::lock_guard guard(m_lock);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

private:
    explicit Workers(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            m_threads.emplace_back([this] { serve(); });
    }
    ~Workers() {
        {
            std::lock_guard guard(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    void serve() {
        std::unique_lock guard(m_lock);
        for (;;) {
            m_wake.wait(guard, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return; // stopping, nothing left
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            guard.unlock();
            task();
            guard.lock();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
} // namespace

void runInParallel(std::size_t pieces, const std::function<void(std::size_t)>& work) {
    if (pieces == 0)
        return;
    auto shared = std::make_shared<Pieces>(pieces, work);
    if (pieces > 1) {
        // On a busy machine the workers may start late: the calling thread takes whatever piece
        // is still untaken rather than wait for them.
        Workers& workers = Workers::shared();
        for (std::size_t i = 1; i < pieces; ++i)
            workers.post([shared] { shared->runSome(); });
    }
    shared->runSome();
    shared->done.wait();
}

RowBand rowBand(int rows, std::size_t pieces, std::size_t index) {
    if (rows <= 0 || pieces == 0 || index >= pieces)
        return {};
    const auto rowsOf = [rows, pieces](std::size_t i) {
        // Even boundaries: every band but the last starts and ends on an even row.
        const auto boundary =
            static_cast<int>(static_cast<std::int64_t>(rows) * static_cast<std::int64_t>(i) /
                             static_cast<std::int64_t>(pieces));
        return i >= pieces ? rows : boundary & ~1;
    };
    return {rowsOf(index), rowsOf(index + 1)};
}

} // namespace viewer
