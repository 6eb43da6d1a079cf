// Helpers of the streaming tests: detailed test patterns and picture-quality measures.
#pragma once

#include "streaming/PlainImage.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace streaming::test {

// A pattern with detail at every scale: one-pixel stripes and checkers, gradients and blocks.
inline PlainImage detailedPattern(int width, int height) {
    PlainImage image(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = image.row(y);
        for (int x = 0; x < width; ++x, p += kBytesPerPixel) {
            const bool checker = ((x ^ y) & 1) != 0;
            const bool block = (((x / 37) + (y / 23)) & 1) != 0;
            p[0] = static_cast<std::uint8_t>(checker ? 255 : 0);                      // B: finest detail
            p[1] = static_cast<std::uint8_t>((x * 255) / width ^ (block ? 0x80 : 0)); // G: gradient + blocks
            p[2] = static_cast<std::uint8_t>((x % 3 == 0) ? 250 : (y * 7) % 256);     // R: stripes
            p[3] = 0;
        }
    }
    return image;
}

// PSNR over the B, G and R bytes of two images of one size (infinity when identical).
inline double psnr(const ImageView& a, const ImageView& b) {
    double sum = 0.0;
    std::uint64_t count = 0;
    for (int y = 0; y < a.height; ++y) {
        const std::uint8_t* pa = a.row(y);
        const std::uint8_t* pb = b.row(y);
        for (int x = 0; x < a.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double d = static_cast<double>(pa[x * kBytesPerPixel + c]) - pb[x * kBytesPerPixel + c];
                sum += d * d;
                ++count;
            }
        }
    }
    if (sum == 0.0) {
        return std::numeric_limits<double>::infinity();
    }
    const double mse = sum / static_cast<double>(count);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline double planePsnr(const std::uint8_t* a, std::ptrdiff_t strideA, const std::uint8_t* b,
                        std::ptrdiff_t strideB, int width, int height) {
    double sum = 0.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double d = static_cast<double>(a[y * strideA + x]) - b[y * strideB + x];
            sum += d * d;
        }
    }
    if (sum == 0.0) {
        return std::numeric_limits<double>::infinity();
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / (static_cast<double>(width) * height)));
}

} // namespace streaming::test
