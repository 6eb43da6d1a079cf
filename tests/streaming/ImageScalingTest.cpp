#include "streaming/ImageScaling.h"

#include "StreamingTestSupport.h"
#include "platform/Log.h"
#include "streaming/FastAreaAverage.h"
#include "streaming/ProportionalScaling.h"
#include "support/CaseName.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace streaming {
namespace {

constexpr double kMinThumbnailPsnr = 30.0;

struct ScaleCase {
    ImageSize source;
    ImageSize target;
    friend void PrintTo(const ScaleCase& c, std::ostream* os) {
        *os << c.source.width << "x" << c.source.height << " to " << c.target.width << "x" << c.target.height;
    }
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

// Uniform noise in every byte: no structure for a shortcut to lean on, every boundary error shows.
PlainImage noise(int width, int height) {
    PlainImage image(width, height);
    std::mt19937 random(static_cast<std::uint32_t>(width * 7919 + height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * kBytesPerPixel; ++x) {
            image.row(y)[x] = static_cast<std::uint8_t>(random() >> 24);
        }
    }
    return image;
}

TEST_P(ThumbnailScaling, NoiseMatchesExactAreaAverage) {
    const ScaleCase c = GetParam();
    const PlainImage source = noise(c.source.width, c.source.height);
    const PlainImage reference = scaleByAreaAverage(source.view(), c.target);
    const PlainImage thumbnail = scaleImage(source.view(), c.target);
    ASSERT_EQ(thumbnail.size(), c.target);
    EXPECT_GE(test::psnr(thumbnail.view(), reference.view()), kMinThumbnailPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ThumbnailScaling,
    ::testing::Values(ScaleCase{{1920, 1080}, {160, 120}}, ScaleCase{{1920, 1080}, {320, 180}},
                      ScaleCase{{1920, 1080}, {320, 200}}, ScaleCase{{1920, 1080}, {213, 97}},
                      ScaleCase{{1366, 768}, {160, 120}}, ScaleCase{{1281, 721}, {640, 360}},
                      ScaleCase{{800, 600}, {799, 599}}, ScaleCase{{2560, 1600}, {40, 25}},
                      ScaleCase{{7, 5}, {3, 2}}, ScaleCase{{37, 19}, {37, 1}}),
    testsupport::PrintedCaseName());

// The wide row kernels and the portable ones give the same bytes, at widths that leave every
// remainder of a 32- or 64-byte step and at ratios from 1 to the largest the fast path takes.
TEST(FastAreaAverage, WideKernelsMatchPortableOnes) {
    const ScaleCase cases[] = {{{1920, 1080}, {320, 200}}, {{1921, 1079}, {160, 120}}, {{67, 33}, {5, 4}},
                               {{9, 9}, {9, 9}},           {{640, 480}, {20, 15}},     {{13, 64}, {2, 63}}};
    for (const ScaleCase& c : cases) {
        const PlainImage source = noise(c.source.width, c.source.height);
        const PlainImage portable = scaleByFastAreaAverage(source.view(), c.target, AreaKernels::Portable);
        ASSERT_EQ(portable.size(), c.target);
        for (const AreaKernels kernels : {AreaKernels::Widest, AreaKernels::Upto256Bits}) {
            const PlainImage wide = scaleByFastAreaAverage(source.view(), c.target, kernels);
            ASSERT_EQ(wide.size(), c.target) << c.source.width << "x" << c.source.height;
            EXPECT_EQ(std::memcmp(wide.data(), portable.data(), wide.view().stride * c.target.height), 0)
                << c.source.width << "x" << c.source.height << " -> " << c.target.width << "x"
                << c.target.height << " kernels " << static_cast<int>(kernels);
        }
    }
}

// A flat colour stays exactly that colour; sizes past the fast path's reach are refused.
TEST(FastAreaAverage, KeepsFlatColoursAndRefusesWhatItCannotReach) {
    PlainImage flat(1366, 768);
    const std::uint8_t colour[kBytesPerPixel] = {0, 255, 37, 200};
    for (int y = 0; y < flat.height(); ++y) {
        for (int x = 0; x < flat.width(); ++x) {
            std::memcpy(flat.row(y) + x * kBytesPerPixel, colour, kBytesPerPixel);
        }
    }
    for (const AreaKernels kernels : {AreaKernels::Widest, AreaKernels::Upto256Bits, AreaKernels::Portable}) {
        const PlainImage result = scaleByFastAreaAverage(flat.view(), {213, 97}, kernels);
        ASSERT_EQ(result.size(), (ImageSize{213, 97}));
        for (int y = 0; y < result.height(); ++y) {
            for (int x = 0; x < result.width(); ++x) {
                ASSERT_EQ(std::memcmp(result.row(y) + x * kBytesPerPixel, colour, kBytesPerPixel), 0)
                    << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(scaleByFastAreaAverage(flat.view(), {1367, 768}).isEmpty());
    EXPECT_TRUE(scaleByFastAreaAverage(flat.view(), {42, 768}).isEmpty()); // 1366 > 32 * 42
    EXPECT_TRUE(scaleByFastAreaAverage(ImageView{}, {4, 4}).isEmpty());
}

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
