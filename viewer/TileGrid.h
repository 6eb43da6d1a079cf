// The tile grid of the teacher's shared screen in one viewer mode: answer mode halves the canvas
// into tiles of 200 to 399 pixels a side, share mode into tiles of 50 to 99. The teacher sends
// strips of tiles by number; the grid says where each lies and refuses numbers it does not have.
// Plain value, main thread of the viewer.
#pragma once

#include "client/ScreenGridRule.h"
#include "viewer/ScreenPartData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

// Canvas sizes the viewer accepts from the teacher: anything larger is no screen anybody shares,
// and would make the canvas allocation itself the attack. The links bound a strip that comes
// before any canvas by the same pixel count.
constexpr int kMinCanvasSide = 1;
constexpr int kMaxCanvasSide = 16384;
constexpr std::int64_t kMaxCanvasPixels = static_cast<std::int64_t>(client::screengrid::kMaxCanvasPixels);
constexpr std::int64_t kMaxTiles = 65536;

// Whether a canvas of this size may be built (sides and pixel count within the limits above).
bool isAcceptableCanvas(std::int64_t width, std::int64_t height);

class TileGrid {
public:
    enum class Mode { Answer, Share };
    struct Thresholds {
        int low = 0;
        int high = 0;
    };
    static constexpr Thresholds kAnswerThresholds{client::screengrid::kAnswerThresholds.low,
                                                  client::screengrid::kAnswerThresholds.high};
    static constexpr Thresholds kShareThresholds{client::screengrid::kShareThresholds.low,
                                                 client::screengrid::kShareThresholds.high};

    // Why a strip's tile list was refused (Ok when every number names a tile).
    // TooManyTiles: the list names more tiles than the grid has.
    enum class StripCheck { Ok, ListShort, ListEnds, OutOfRange, EmptyGrid, TooManyTiles };

    // The tile length one side of the canvas is cut into (the halving rule of the mode).
    static int tileLength(int canvasLength, Thresholds thresholds);

    // Builds the grid of the mode for the canvas. A canvas outside the limits, or one that would
    // make more than kMaxTiles tiles, leaves the grid empty and answers false (logged).
    bool build(Mode mode, std::int64_t canvasWidth, std::int64_t canvasHeight);
    void clear();

    bool empty() const { return m_tiles.empty(); }
    std::size_t tileCount() const { return m_tiles.size(); }
    int partWidth() const { return m_nPartWidth; }
    int partHeight() const { return m_nPartHeight; }
    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    int canvasWidth() const { return m_canvasWidth; }
    int canvasHeight() const { return m_canvasHeight; }
    const ScreenPartData& tile(std::size_t n) const { return m_tiles[n]; }
    ScreenPartData& tile(std::size_t n) { return m_tiles[n]; }

    // Checks the first count numbers of a strip's list; failing position and number for the log.
    StripCheck checkStrip(const std::vector<std::int32_t>& indexes, int count, int* failedAt = nullptr) const;

private:
    std::vector<ScreenPartData> m_tiles;
    int m_nPartWidth = 0;
    int m_nPartHeight = 0;
    int m_columns = 0;
    int m_rows = 0;
    int m_canvasWidth = 0;
    int m_canvasHeight = 0;
};

} // namespace viewer
