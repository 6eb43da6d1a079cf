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

constexpr ConversionKernels kAllKernels[] = {ConversionKernels::Widest, ConversionKernels::Upto128Bits,
                                             ConversionKernels::Portable};

// A pseudo-random BGRX frame: a 64-bit LCG, one byte (its top eight bits) per step, row by row
// over the pixels only; the padding of each row stays garbage.
TestFrame lcgFrame(int width, int height) {
    TestFrame frame(width, height, {0, 0, 0});
    std::uint64_t state = 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = frame.bytes.data() + y * frame.stride;
        for (int k = 0; k < width * kBytesPerPixel; ++k) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            p[k] = static_cast<std::uint8_t>(state >> 56);
        }
    }
    return frame;
}

std::uint64_t fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001b3ULL;
    }
    return hash;
}

// Hashes worked out apart from this code, straight from the integer formula. The widths leave
// every remainder a wide loop can leave, and the rows are padded.
TEST(Yuv420, PseudoRandomFramesMatchGoldenHashes) {
    struct Case {
        int width, height;
        std::uint64_t hash;
    };
    const Case cases[] = {
        {2, 2, 0x4e405e0bf84b9affULL},
        {34, 4, 0x2e05b2fdcae1fdd3ULL},
        {638, 6, 0x04fd0ec4d42210aaULL},
        {1920, 1080, 0xadf690bf04b9b37dULL},
    };
    for (const Case& c : cases) {
        const TestFrame frame = lcgFrame(c.width, c.height);
        for (const ConversionKernels kernels : kAllKernels) {
            const auto out = yuv420DataFromImage(frame.view(), kernels);
            ASSERT_EQ(out.size(), i420Size(c.width, c.height));
            EXPECT_EQ(fnv1a64(out), c.hash)
                << c.width << "x" << c.height << " kernels " << static_cast<int>(kernels);
        }
    }
}

// Every 24-bit colour, each as the top-left pixel of a 2x2 block whose other three pixels hold
// its complement, against the formula written out here: wide arithmetic that overflows a lane
// or rounds instead of flooring shows up at some colour.
TEST(Yuv420, EveryColourMatchesTheFormula) {
    constexpr int kSide = 256; // one frame per red value: green down, blue across
    TestFrame frame(2 * kSide, 2 * kSide, {0, 0, 0});
    const std::size_t luma = 4u * kSide * kSide;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < kSide; ++g) {
            for (int b = 0; b < kSide; ++b) {
                const Rgb c{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                            static_cast<std::uint8_t>(b)};
                const Rgb inverse{static_cast<std::uint8_t>(255 - r), static_cast<std::uint8_t>(255 - g),
                                  static_cast<std::uint8_t>(255 - b)};
                frame.set(2 * b, 2 * g, c);
                frame.set(2 * b + 1, 2 * g, inverse);
                frame.set(2 * b, 2 * g + 1, inverse);
                frame.set(2 * b + 1, 2 * g + 1, inverse);
            }
        }
        for (const ConversionKernels kernels : kAllKernels) {
            const auto out = yuv420DataFromImage(frame.view(), kernels);
            ASSERT_EQ(out.size(), luma * 3 / 2);
            for (int g = 0; g < kSide; ++g) {
                for (int b = 0; b < kSide; ++b) {
                    const std::size_t top = static_cast<std::size_t>(2 * g) * 2 * kSide + 2 * b;
                    const std::size_t chroma = static_cast<std::size_t>(g) * kSide + b;
                    const int y = (77 * r + 150 * g + 29 * b) >> 8;
                    const int yInv = (77 * (255 - r) + 150 * (255 - g) + 29 * (255 - b)) >> 8;
                    const int u = ((-43 * r - 85 * g + 128 * b) >> 8) + 128;
                    const int v = ((128 * r - 107 * g - 21 * b) >> 8) + 128;
                    const bool ok = out[top] == y && out[top + 1] == yInv && out[top + 2 * kSide] == yInv &&
                                    out[luma + chroma] == u && out[luma + luma / 4 + chroma] == v;
                    if (!ok) {
                        ADD_FAILURE()
                            << "kernels " << static_cast<int>(kernels) << " colour " << r << "," << g << ","
                            << b << ": Y " << int(out[top]) << " U " << int(out[luma + chroma]) << " V "
                            << int(out[luma + luma / 4 + chroma]) << ", expected " << y << " " << u << " "
                            << v;
                        return;
                    }
                }
            }
        }
    }
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
