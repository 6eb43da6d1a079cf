// Splits the viewer's heavy per-update work (decoding strips, converting and scaling whole
// pictures) between the calling thread and workers that start with the first use and stay for the
// process, so no tick starts threads of its own. Called from the viewer's main thread; the pieces
// of one call must touch disjoint memory.
#pragma once

#include <cstddef>
#include <functional>

namespace viewer {

// Pieces a picture-wide step is cut into. Two, not one per core: the viewer's work comes in short
// bursts 30 times a second, and every further thread is woken cold for each of them. Measured on a
// whole 1080p update of 8 JPEG strips, a second thread cuts the time from the last strip to the
// screen (11.5 to 6.4 ms) for about 2 % more CPU; a third and a fourth save 2 ms more but raise
// the CPU by a tenth and by a fifth over one thread (viewer_bench).
constexpr std::size_t kParallelPieces = 2;

// Runs work(0) .. work(pieces - 1) once each, on the calling thread and on the workers, whichever
// takes a piece first, and returns when all are done.
void runInParallel(std::size_t pieces, const std::function<void(std::size_t)>& work);

// Row range [first, end) of one of `pieces` bands of `rows` rows; band boundaries fall on even rows
// so that 4:2:0 chroma rows are never split between two bands.
struct RowBand {
    int first = 0;
    int end = 0;
};
RowBand rowBand(int rows, std::size_t pieces, std::size_t index);

} // namespace viewer
