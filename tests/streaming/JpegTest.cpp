#include "StreamingTestSupport.h"
#include "streaming/JpegCompressor.h"
#include "streaming/ProportionalScaling.h"

#include <cmath>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <vector>

namespace streaming {
namespace {

// Decodes JPEG bytes back into B, G, R, X pixels; an empty image when they are not a JPEG image.
PlainImage decode(const std::vector<std::uint8_t>& jpeg) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    PlainImage image;
    if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colorspace) ==
        0) {
        image = PlainImage(width, height);
        if (tjDecompress2(handle, jpeg.data(), jpeg.size(), image.data(), width,
                          static_cast<int>(image.stride()), height, TJPF_BGRX, 0) != 0) {
            image = PlainImage();
        }
    }
    tjDestroy(handle);
    return image;
}

TEST(JpegQuality, FactorTimesHundredClamped) {
    struct Case {
        float factor;
        int quality;
    };
    const Case cases[] = {{0.4f, 40},   {0.9f, 90}, {1.0f, 100},     {0.29f, 29},
                          {0.0f, 1},    {-3.0f, 1}, {0.001f, 1},     {1.5f, 100},
                          {1e30f, 100}, {NAN, 1},   {INFINITY, 100}, {-INFINITY, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(jpegQualityForFactor(c.factor), c.quality) << c.factor;
    }
}

TEST(JpegCompressor, DecodesBackAtSizeFromPaddedRows) {
    // A frame whose rows are padded, as capture buffers often are; the padding must not show.
    const int width = 320, height = 200;
    const PlainImage pattern = test::detailedPattern(width, height);
    const std::ptrdiff_t stride = pattern.stride() + 64;
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(stride) * height, 0xFF);
    for (int y = 0; y < height; ++y) {
        std::copy_n(pattern.view().row(y), width * kBytesPerPixel, padded.begin() + y * stride);
    }
    JpegCompressor compressor;
    const auto jpeg = compressor.compress({padded.data(), width, height, stride}, 95);
    ASSERT_FALSE(jpeg.empty());
    const PlainImage back = decode(jpeg);
    ASSERT_EQ(back.size(), (ImageSize{width, height}));
    // Smooth content survives well; the pattern's one-pixel checkers cost some decibels.
    const PlainImage smooth = [&] {
        PlainImage image(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = image.row(y) + x * kBytesPerPixel;
                p[0] = static_cast<std::uint8_t>(x * 255 / width);
                p[1] = static_cast<std::uint8_t>(y * 255 / height);
                p[2] = 128;
            }
        }
        return image;
    }();
    const PlainImage smoothBack = decode(compressor.compress(smooth.view(), 90));
    ASSERT_EQ(smoothBack.size(), smooth.size());
    EXPECT_GT(test::psnr(smooth.view(), smoothBack.view()), 35.0);
    // Reading through the real stride gives exactly the bytes of the same picture packed tightly.
    EXPECT_EQ(jpeg, compressor.compress(pattern.view(), 95));
}

TEST(JpegCompressor, QualityChangesSizeAndInvalidImagesGiveNothing) {
    const PlainImage pattern = test::detailedPattern(256, 128);
    JpegCompressor compressor;
    const auto low = compressor.compress(pattern.view(), 5);
    const auto high = compressor.compress(pattern.view(), 100);
    // Out-of-range qualities are clamped, not refused.
    EXPECT_EQ(compressor.compress(pattern.view(), -7), compressor.compress(pattern.view(), 1));
    EXPECT_EQ(compressor.compress(pattern.view(), 1000), high);
    ASSERT_FALSE(low.empty());
    EXPECT_LT(low.size(), high.size());
    EXPECT_TRUE(compressor.compress(ImageView{}, 50).empty());
    EXPECT_TRUE(compressor.compress({pattern.data(), 256, 128, 100}, 50).empty());
}

TEST(ImgCompressedByFactor, HighDensityDisplaysOnlyTakeTenthToOne) {
    const PlainImage image = test::detailedPattern(64, 48);
    JpegCompressor compressor;
    struct Case {
        float factor;
        bool retina;
        bool output;
    };
    const Case cases[] = {{0.05f, true, false}, {1.5f, true, false},  {NAN, true, false}, {0.1f, true, true},
                          {1.0f, true, true},   {0.05f, false, true}, {1.5f, false, true}};
    for (const Case& c : cases) {
        const auto jpeg = imgCompressedByFactor(compressor, image.view(), c.factor, c.retina);
        EXPECT_EQ(!jpeg.empty(), c.output) << c.factor << " retina " << c.retina;
        if (c.output) {
            EXPECT_EQ(decode(jpeg).size(), image.size());
        }
    }
    EXPECT_EQ(imageCompressedByFactor(compressor, image.view(), 1.5f),
              compressor.compress(image.view(), kJpegMaxQuality));
}

} // namespace
} // namespace streaming
