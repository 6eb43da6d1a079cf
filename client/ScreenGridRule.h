// How the teacher's canvas is cut into tiles: each side is halved while it is even and large, down
// to a length between the mode's thresholds (answer mode 200 to 399, share mode 50 to 99). The
// console cuts its strips by the same rule, so the client bounds a strip by it before the viewer
// builds its grid. Pure functions, any thread.
#pragma once

#include "transport/ScreenUpdateLimits.h"

#include <cstdint>

namespace client::screengrid {

// The largest canvas the viewer builds, as the links bound a strip that comes before the console
// announces one.
constexpr std::uint64_t kMaxCanvasPixels = transport::ScreenUpdateLimits::kMaxCanvasPixels;

struct Thresholds {
    int low = 0;
    int high = 0;
};
constexpr Thresholds kAnswerThresholds{200, 399};
constexpr Thresholds kShareThresholds{50, 99};

// The tile length one side of the canvas is cut into (an odd or small length stays whole).
constexpr int tileLength(int canvasLength, Thresholds thresholds) {
    int value = canvasLength;
    while (value >= thresholds.low && value % 2 == 0) {
        const int half = value / 2;
        if (value < thresholds.high || half % 2 != 0)
            return half;
        value = half;
    }
    return value;
}

struct GridSize {
    std::uint64_t tiles = 0;
    std::uint64_t tilePixels = 0;
};

// Tiles of a canvas (none for a side below 1).
constexpr GridSize gridSize(int width, int height, Thresholds thresholds) {
    if (width < 1 || height < 1)
        return {};
    const int tileWidth = tileLength(width, thresholds);
    const int tileHeight = tileLength(height, thresholds);
    return {static_cast<std::uint64_t>(width / tileWidth) * static_cast<std::uint64_t>(height / tileHeight),
            static_cast<std::uint64_t>(tileWidth) * static_cast<std::uint64_t>(tileHeight)};
}

} // namespace client::screengrid
