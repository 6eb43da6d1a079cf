// Splits the viewer's heavy per-update work (decoding strips, converting and scaling whole
// pictures) over a few worker threads that start with the first use and stay for the process, so
// no tick starts threads of its own. Called from the viewer's main thread; the pieces of one call
// must touch disjoint memory.
#pragma once

#include <cstddef>
#include <functional>

namespace streaming {

// Pieces a picture-wide step is cut into: one per core the viewer may keep busy at once.
constexpr std::size_t kParallelPieces = 4;

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

} // namespace streaming
