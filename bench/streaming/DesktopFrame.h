// The benchmarks' 1920x1080 desktop-like frame: flat areas, gradients and text-like fine detail,
// so the encoders see what a real screen gives them.
#pragma once

#include "streaming/PlainImage.h"

#include <cstdint>

namespace bench {

constexpr int kDesktopWidth = 1920;
constexpr int kDesktopHeight = 1080;

inline const streaming::PlainImage& desktopFrame() {
    static const streaming::PlainImage image = [] {
        streaming::PlainImage result(kDesktopWidth, kDesktopHeight);
        for (int y = 0; y < kDesktopHeight; ++y) {
            std::uint8_t* p = result.row(y);
            for (int x = 0; x < kDesktopWidth; ++x, p += streaming::kBytesPerPixel) {
                const bool text = (y % 24) < 14 && (x % 9) < 6 && ((x * 7 + y * 3) % 5) < 2;
                const bool window = x > 300 && x < 1500 && y > 150 && y < 900;
                const std::uint8_t base =
                    window ? 245 : static_cast<std::uint8_t>(60 + y * 120 / kDesktopHeight);
                p[0] = text ? 20 : base;
                p[1] = text ? 20 : static_cast<std::uint8_t>(window ? 245 : 90);
                p[2] = text ? 20 : static_cast<std::uint8_t>(window ? 245 : 40 + x * 60 / kDesktopWidth);
                p[3] = 0;
            }
        }
        return result;
    }();
    return image;
}

} // namespace bench
