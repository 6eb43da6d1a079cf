#include "streaming/viewer/ParallelWork.h"

#include <QThreadPool>
#include <cstdint>
#include <latch>

namespace streaming {

void runInParallel(std::size_t pieces, const std::function<void(std::size_t)>& work) {
    if (pieces == 0)
        return;
    std::latch done(static_cast<std::ptrdiff_t>(pieces));
    QThreadPool* pool = QThreadPool::globalInstance();
    for (std::size_t i = 1; i < pieces; ++i) {
        auto piece = [&work, &done, i] {
            work(i);
            done.count_down();
        };
        if (!pool->tryStart(piece))
            piece();
    }
    work(0);
    done.count_down();
    done.wait();
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
