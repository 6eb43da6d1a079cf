#include "streaming/ImageScaling.h"

#include "StreamingTestSupport.h"
#include "platform/Log.h"
#include "streaming/ProportionalScaling.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace streaming {
namespace {

constexpr double kMinThumbnailPsnr = 30.0;

struct ScaleCase {
    ImageSize source;
    ImageSize target;
};

class ThumbnailScaling : public ::testing::TestWithParam<ScaleCase> {};

// The thumbnail of a screen full of one-pixel detail must match the exact area average; a plain
// bilinear or point-sampled shrink aliases the detail into stripes and fails this by far.
TEST_P(ThumbnailScaling, MatchesExactAreaAverage) {
    const ScaleCase c = GetParam();
    const PlainImage source = test::detailedPattern(c.source.width, c.source.height);
    const PlainImage reference = scaleByAreaAverage(source.view(), c.target);
    const PlainImage thumbnail = scaleImage(source.view(), c.target);
    ASSERT_EQ(thumbnail.size(), c.target);
    ASSERT_EQ(reference.size(), c.target);
    EXPECT_GE(test::psnr(thumbnail.view(), reference.view()), kMinThumbnailPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ThumbnailScaling,
    ::testing::Values(ScaleCase{{1920, 1080}, {160, 120}}, ScaleCase{{1920, 1080}, {320, 180}},
                      ScaleCase{{1920, 1080}, {213, 97}}, ScaleCase{{1366, 768}, {160, 120}},
                      ScaleCase{{1281, 721}, {640, 360}}, ScaleCase{{800, 600}, {799, 599}}));

TEST(AreaAverage, AveragesEachBlockExactly) {
    // 4x2 -> 2x1: each target pixel is the mean of a 2x2 block, rounded.
    PlainImage source(4, 2);
    const std::uint8_t values[2][4] = {{0, 10, 100, 200}, {20, 31, 50, 51}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            for (int c = 0; c < kBytesPerPixel; ++c) {
                source.row(y)[x * kBytesPerPixel + c] = values[y][x];
            }
        }
    }
    const PlainImage result = scaleByAreaAverage(source.view(), {2, 1});
    ASSERT_EQ(result.size(), (ImageSize{2, 1}));
    EXPECT_EQ(result.row(0)[0], 15);  // (0 + 10 + 20 + 31) / 4 = 15.25
    EXPECT_EQ(result.row(0)[4], 100); // (100 + 200 + 50 + 51) / 4 = 100.25
}

TEST(AreaAverage, WeighsPartlyCoveredPixels) {
    // 3 -> 2: target 0 covers source 0 fully and half of source 1.
    PlainImage source(3, 1);
    const std::uint8_t values[3] = {0, 90, 180};
    for (int x = 0; x < 3; ++x) {
        source.row(0)[x * kBytesPerPixel] = values[x];
    }
    const PlainImage result = scaleByAreaAverage(source.view(), {2, 1});
    EXPECT_EQ(result.row(0)[0], 30);  // (0 * 2 + 90) / 3
    EXPECT_EQ(result.row(0)[4], 150); // (90 + 180 * 2) / 3
}

TEST(ScaleImage, HonoursRowStrideAndGrows) {
    // A padded source whose padding holds a colour that must never reach the result.
    const int width = 64, height = 32, stride = (width + 7) * kBytesPerPixel;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        std::fill_n(buffer.begin() + y * stride, width * kBytesPerPixel, 0x10);
    }
    const ImageView view{buffer.data(), width, height, stride};
    for (ImageSize target : {ImageSize{16, 8}, ImageSize{100, 50}, ImageSize{33, 31}}) {
        const PlainImage result = scaleImage(view, target);
        ASSERT_EQ(result.size(), target);
        for (int y = 0; y < target.height; ++y) {
            for (int x = 0; x < target.width * kBytesPerPixel; ++x) {
                // Bilinear growth may round a flat colour by one; the padding (0xEE) must never show.
                ASSERT_NEAR(result.row(y)[x], 0x10, 1) << target.width << "x" << target.height;
            }
        }
    }
}

TEST(ImgResize, InvalidInputLogsAndAnswersNothing) {
    std::vector<std::string> lines;
    platform::setLogSink([&lines](const std::string& line) { lines.push_back(line); });
    const PlainImage good(8, 8);
    const ImageView tooNarrowStride{good.data(), 8, 8, 8};
    EXPECT_FALSE(imgResize(ImageView{}, {4, 4}).has_value());
    EXPECT_FALSE(imgResize(tooNarrowStride, {4, 4}).has_value());
    EXPECT_FALSE(imgResize(good.view(), {0, 4}).has_value());
    EXPECT_FALSE(imageResize(good.view(), {4, kMaxImageSide + 1}).has_value());
    platform::setLogSink({});
    EXPECT_EQ(lines, std::vector<std::string>(4, "[ZQ]Invalid Image"));
    ASSERT_TRUE(imgResize(good.view(), {4, 2}).has_value());
    EXPECT_EQ(imgResize(good.view(), {4, 2})->size(), (ImageSize{4, 2}));
}

TEST(UploadPixelSize, HalvesToPointsOnHighDensityDisplays) {
    EXPECT_EQ(uploadPixelSize({160, 120}, false), (ImageSize{160, 120}));
    EXPECT_EQ(uploadPixelSize({160, 120}, true), (ImageSize{160, 120}));
    EXPECT_EQ(uploadPixelSize({161, 121}, true), (ImageSize{160, 120}));
    EXPECT_EQ(uploadPixelSize({161, 121}, false), (ImageSize{161, 121}));
}

} // namespace
} // namespace streaming
