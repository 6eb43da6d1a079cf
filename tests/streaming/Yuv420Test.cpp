#include "streaming/Yuv420.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace streaming {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// A padded BGRX buffer: garbage fills every row's padding so a conversion that ignores the real
// stride reads it.
struct TestFrame {
    int width, height;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;

    TestFrame(int w, int h, Rgb fill) : width(w), height(h), stride((w + 3) * kBytesPerPixel) {
        bytes.assign(static_cast<std::size_t>(stride) * h, 0x5A);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                set(x, y, fill);
            }
        }
    }
    void set(int x, int y, Rgb c) {
        std::uint8_t* p = bytes.data() + y * stride + x * kBytesPerPixel;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p[3] = 0xFF;
    }
    ImageView view() const { return {bytes.data(), width, height, stride}; }
};

TEST(Yuv420, ValuesOfPrimaryColours) {
    struct Case {
        Rgb colour;
        std::array<int, 3> yuv;
    };
    const Case cases[] = {
        {{255, 255, 255}, {255, 128, 128}},
        {{0, 0, 0}, {0, 128, 128}},
        {{255, 0, 0}, {76, 85, 255}},
    };
    for (const Case& c : cases) {
        const TestFrame frame(4, 2, c.colour);
        const auto out = yuv420DataFromImage(frame.view());
        ASSERT_EQ(out.size(), 12u);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(out[i], c.yuv[0]);
        }
        EXPECT_EQ(out[8], c.yuv[1]);
        EXPECT_EQ(out[9], c.yuv[1]);
        EXPECT_EQ(out[10], c.yuv[2]);
        EXPECT_EQ(out[11], c.yuv[2]);
    }
}

TEST(Yuv420, ChromaIsTheTopLeftPixelsOnly) {
    TestFrame frame(4, 4, {255, 255, 255});
    frame.set(0, 0, {0, 0, 0});   // block (0,0): black top-left, white elsewhere
    frame.set(3, 3, {255, 0, 0}); // block (1,1): red bottom-right only
    frame.set(2, 2, {0, 0, 255}); // block (1,1): blue top-left
    const auto out = yuv420DataFromImage(frame.view());
    ASSERT_EQ(out.size(), 24u);
    const std::uint8_t* u = out.data() + 16;
    const std::uint8_t* v = u + 4;
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[15], 76);
    EXPECT_EQ(u[0], 128);
    EXPECT_EQ(v[0], 128);
    // Blue: U = ((128 * 255) >> 8) + 128 = 255, V = ((-21 * 255) >> 8) + 128 = 107 (flooring shift).
    EXPECT_EQ(u[3], 255);
    EXPECT_EQ(v[3], 107);
    EXPECT_EQ(out[10], 28); // Y of blue: (29 * 255) >> 8
}

TEST(Yuv420, SizeOfAFullHdFrame) {
    const TestFrame frame(1920, 1080, {10, 20, 30});
    EXPECT_EQ(yuv420DataFromImage(frame.view()).size(), 1920u * 1080u * 3u / 2u);
}

TEST(Yuv420, RefusesOddSizesAndInvalidViews) {
    EXPECT_TRUE(yuv420DataFromImage(TestFrame(3, 2, {0, 0, 0}).view()).empty());
    EXPECT_TRUE(yuv420DataFromImage(TestFrame(4, 3, {0, 0, 0}).view()).empty());
    EXPECT_TRUE(yuv420DataFromImage(ImageView{}).empty());
    const TestFrame frame(4, 4, {0, 0, 0});
    EXPECT_TRUE(yuv420DataFromImage({frame.bytes.data(), 4, 4, 8}).empty());
}

} // namespace
} // namespace streaming
