#include "viewer/TileGrid.h"

#include "client/ScreenGridRule.h"
#include "platform/Log.h"

namespace viewer {
namespace {

// The canvas comes from the console's commands ("[MV00103]", "[AN00001]"), which it can repeat
// without end: each kind of refusal is held to a few lines a second.
constexpr int kCanvasLinesPerSecond = 3;

platform::LogRateLimit& canvasRefusedLog() {
    static platform::LogRateLimit limit(kCanvasLinesPerSecond);
    return limit;
}

platform::LogRateLimit& tooManyTilesLog() {
    static platform::LogRateLimit limit(kCanvasLinesPerSecond);
    return limit;
}

} // namespace

bool isAcceptableCanvas(std::int64_t width, std::int64_t height) {
    if (width < kMinCanvasSide || height < kMinCanvasSide || width > kMaxCanvasSide ||
        height > kMaxCanvasSide)
        return false;
    return width * height <= kMaxCanvasPixels; // both sides are at most 2^14: no overflow
}

int TileGrid::tileLength(int canvasLength, Thresholds thresholds) {
    return client::screengrid::tileLength(canvasLength, {thresholds.low, thresholds.high});
}

void TileGrid::clear() {
    m_tiles.clear();
    m_nPartWidth = m_nPartHeight = m_columns = m_rows = 0;
    m_canvasWidth = m_canvasHeight = 0;
}

bool TileGrid::build(Mode mode, std::int64_t canvasWidth, std::int64_t canvasHeight) {
    clear();
    if (!isAcceptableCanvas(canvasWidth, canvasHeight)) {
        canvasRefusedLog().logf("[ZQ]Canvas %lldx%lld refused; no tiles", static_cast<long long>(canvasWidth),
                                static_cast<long long>(canvasHeight));
        return false;
    }
    const Thresholds t = mode == Mode::Answer ? kAnswerThresholds : kShareThresholds;
    const int width = static_cast<int>(canvasWidth);
    const int height = static_cast<int>(canvasHeight);
    const int partWidth = tileLength(width, t);
    const int partHeight = tileLength(height, t);
    const int columns = width / partWidth;
    const int rows = height / partHeight;
    if (static_cast<std::int64_t>(columns) * rows > kMaxTiles) {
        tooManyTilesLog().logf("[ZQ]Canvas %dx%d would make %lld tiles; no tiles", width, height,
                               static_cast<long long>(columns) * rows);
        return false;
    }
    m_nPartWidth = partWidth;
    m_nPartHeight = partHeight;
    m_columns = columns;
    m_rows = rows;
    m_canvasWidth = width;
    m_canvasHeight = height;
    m_tiles.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            CRect rect;
            rect.left = static_cast<std::int64_t>(partWidth) * c;
            rect.top = static_cast<std::int64_t>(partHeight) * r;
            rect.right = static_cast<std::int64_t>(partWidth) * (c + 1);
            rect.bottom = static_cast<std::int64_t>(partHeight) * (r + 1);
            m_tiles.emplace_back(rect, ScreenPartData::kBitsPerPixel, r * columns + c);
        }
    }
    return true;
}

TileGrid::StripCheck TileGrid::checkStrip(const std::vector<std::int32_t>& indexes, int count,
                                          int* failedAt) const {
    // A list longer than the grid names some tile twice: each repeat would be a whole tile write
    // for a picture no wider than the rest, so such a list is refused before any entry is read.
    if (!m_tiles.empty() && count > 0 && static_cast<std::size_t>(count) > m_tiles.size()) {
        if (failedAt != nullptr)
            *failedAt = count;
        return StripCheck::TooManyTiles;
    }
    for (int i = 0; i < count; ++i) {
        if (failedAt != nullptr)
            *failedAt = i;
        const auto position = static_cast<std::size_t>(i);
        if (indexes.size() < position)
            return StripCheck::ListShort;
        if (indexes.size() == position)
            return StripCheck::ListEnds;
        if (m_tiles.empty())
            return StripCheck::EmptyGrid;
        const std::int32_t n = indexes[position];
        if (n < 0 || static_cast<std::size_t>(n) >= m_tiles.size())
            return StripCheck::OutOfRange;
    }
    return StripCheck::Ok;
}

} // namespace viewer
