#include "streaming/viewer/ParallelWork.h"

#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <latch>
#include <memory>

namespace streaming {

namespace {
// What the calling thread and its helpers share. Helpers hold it, not the caller's frame: one that
// the pool starts late finds every piece taken and leaves without touching anything else.
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
} // namespace

void runInParallel(std::size_t pieces, const std::function<void(std::size_t)>& work) {
    if (pieces == 0)
        return;
    auto shared = std::make_shared<Pieces>(pieces, work);
    QThreadPool* pool = QThreadPool::globalInstance();
    // On a busy machine the helpers may start late: the calling thread takes whatever piece is
    // still untaken rather than wait for them.
    for (std::size_t i = 1; i < pieces; ++i)
        if (!pool->tryStart([shared] { shared->runSome(); }))
            break;
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

} // namespace streaming
