// The tile grids of both modes (the halving rule, numbering row by row, odd and small canvases),
// the canvas sizes refused from the teacher, and the strip check that refuses a list as a whole.
#include "viewer/TileGrid.h"

#include "platform/ManualRunLoop.h"
#include "platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

namespace viewer {
namespace {

using Mode = TileGrid::Mode;

TEST(TileGrid, GridsOfBothModes) {
    struct Case {
        Mode mode;
        int width, height;
        int columns, rows, partWidth, partHeight;
    };
    const Case cases[] = {
        {Mode::Answer, 1920, 1080, 16, 8, 120, 135},  {Mode::Share, 1920, 1080, 64, 8, 30, 135},
        {Mode::Answer, 1440, 900, 8, 4, 180, 225},    {Mode::Share, 1440, 876, 32, 4, 45, 219},
        {Mode::Answer, 1921, 1080, 1, 8, 1921, 135}, // odd width: one column
        {Mode::Answer, 199, 100, 1, 1, 199, 100},    // below the low threshold
        {Mode::Share, 49, 1080, 1, 8, 49, 135},       {Mode::Share, 1, 1, 1, 1, 1, 1},
        {Mode::Share, 12800, 3200, 512, 128, 25, 25}, // exactly the tile cap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        TileGrid grid;
        ASSERT_TRUE(grid.build(c.mode, c.width, c.height));
        EXPECT_EQ(grid.columns(), c.columns);
        EXPECT_EQ(grid.rows(), c.rows);
        EXPECT_EQ(grid.partWidth(), c.partWidth);
        EXPECT_EQ(grid.partHeight(), c.partHeight);
        ASSERT_EQ(grid.tileCount(), static_cast<std::size_t>(c.columns) * c.rows);
        // Row by row, top row first; the last tile ends at the canvas's corner.
        const ScreenPartData& last = grid.tile(grid.tileCount() - 1);
        EXPECT_EQ(last.m_nPartNum, static_cast<std::int32_t>(grid.tileCount() - 1));
        EXPECT_EQ(last.m_rect.right, c.width);
        EXPECT_EQ(last.m_rect.bottom, c.height);
        EXPECT_FALSE(last.m_bInit);
    }
}

TEST(TileGrid, TilesAreNumberedRowByRow) {
    TileGrid grid;
    ASSERT_TRUE(grid.build(Mode::Answer, 1920, 1080));
    const ScreenPartData& t = grid.tile(17); // row 1, column 1
    EXPECT_EQ(t.m_nPartNum, 17);
    EXPECT_EQ(t.m_rect.left, 120);
    EXPECT_EQ(t.m_rect.top, 135);
    EXPECT_EQ(t.m_rect.right, 240);
    EXPECT_EQ(t.m_rect.bottom, 270);
}

TEST(TileGrid, HostileCanvasSizesMakeNoGrid) {
    struct Case {
        std::int64_t width, height;
    };
    const Case cases[] = {{0, 1080},      {1920, 0},      {-1920, 1080}, {16385, 100},
                          {100, 16385},   {16384, 16384}, {8192, 8193},  {INT64_MAX, 2},
                          {2, INT64_MIN}, {12800, 6400}}; // the last is over the pixel cap as well
    for (const Case& c : cases) {
        for (Mode mode : {Mode::Answer, Mode::Share}) {
            TileGrid grid;
            EXPECT_FALSE(grid.build(mode, c.width, c.height)) << c.width << "x" << c.height;
            EXPECT_TRUE(grid.empty());
        }
    }
    EXPECT_TRUE(isAcceptableCanvas(16384, 4096)); // exactly 64 million pixels
    EXPECT_FALSE(isAcceptableCanvas(16384, 4097));
}

// The canvas comes from the console's commands: 10,000 of one refused canvas write a few lines a
// second, and the next line let through counts the rest.
TEST(TileGrid, ARepeatedHostileCanvasIsLoggedAFewTimesASecond) {
    constexpr int kCanvases = 10'000;
    constexpr std::size_t kFewLines = 5;
    platform::ManualRunLoop loop;
    loop.install();
    TileGrid grid;
    loop.advance(1.0);
    grid.build(Mode::Share, 0, 1080);
    loop.advance(1.0);
    platform::testing::LogCapture log;
    for (int i = 0; i < kCanvases; ++i)
        EXPECT_FALSE(grid.build(Mode::Share, 0, 1080));
    loop.advance(1.0);
    grid.build(Mode::Share, 0, 1080);
    EXPECT_LT(log.lines().size(), kFewLines);
    EXPECT_EQ(platform::testing::faultsLogged(log.lines(), "[ZQ]Canvas 0x1080 refused"), kCanvases + 1u);
}

TEST(TileGrid, StripCheckRefusesAListAsAWhole) {
    TileGrid grid;
    ASSERT_TRUE(grid.build(Mode::Answer, 1920, 1080));
    using Check = TileGrid::StripCheck;
    struct Case {
        std::vector<std::int32_t> indexes;
        int count;
        Check expected;
        int failedAt;
    };
    const Case cases[] = {
        {{0, 1, 127}, 3, Check::Ok, 2},     {{0, 128}, 2, Check::OutOfRange, 1}, // equal to the tile count
        {{5, -1}, 2, Check::OutOfRange, 1}, {{5}, 2, Check::ListEnds, 1},        {{}, 3, Check::ListEnds, 0},
    };
    for (const Case& c : cases) {
        int at = -1;
        EXPECT_EQ(grid.checkStrip(c.indexes, c.count, &at), c.expected);
        EXPECT_EQ(at, c.failedAt);
    }
    TileGrid empty;
    EXPECT_EQ(empty.checkStrip({0}, 1), Check::EmptyGrid);
}

} // namespace
} // namespace viewer
