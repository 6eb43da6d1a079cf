#include "streaming/Yuv420.h"

#include "platform/Log.h"

namespace streaming {

namespace {
// Capture layout byte offsets.
constexpr int kBlue = 0;
constexpr int kGreen = 1;
constexpr int kRed = 2;
// Full-range BT.601 coefficients scaled by 256.
constexpr int kYR = 77, kYG = 150, kYB = 29;
constexpr int kUR = -43, kUG = -85, kUB = 128;
constexpr int kVR = 128, kVG = -107, kVB = -21;
constexpr int kFixedShift = 8;
constexpr int kChromaOffset = 128;

// >> on a negative int is an arithmetic (flooring) shift from C++20 on, as the formula needs.
inline std::uint8_t chroma(int r, int g, int b, int cr, int cg, int cb) {
    return static_cast<std::uint8_t>(((cr * r + cg * g + cb * b) >> kFixedShift) + kChromaOffset);
}
} // namespace

std::size_t i420Size(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::size_t luma = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return luma + 2 * (luma / 4);
}

std::vector<std::uint8_t> yuv420DataFromImage(const ImageView& image) {
    if (!image.isValid() || (image.width % 2) != 0 || (image.height % 2) != 0) {
        platform::logf("[ZQ]YUV conversion refused an image of %dx%d", image.width, image.height);
        return {};
    }
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::vector<std::uint8_t> out(i420Size(image.width, image.height));
    std::uint8_t* yPlane = out.data();
    std::uint8_t* uPlane = yPlane + width * height;
    std::uint8_t* vPlane = uPlane + width * height / 4;
    const std::size_t chromaWidth = width / 2;
    for (std::size_t j = 0; j < height; ++j) {
        const std::uint8_t* pixel = image.row(static_cast<int>(j));
        std::uint8_t* yRow = yPlane + j * width;
        const bool chromaRow = (j % 2) == 0;
        std::uint8_t* uRow = uPlane + (j / 2) * chromaWidth;
        std::uint8_t* vRow = vPlane + (j / 2) * chromaWidth;
        for (std::size_t i = 0; i < width; ++i, pixel += kBytesPerPixel) {
            const int r = pixel[kRed];
            const int g = pixel[kGreen];
            const int b = pixel[kBlue];
            yRow[i] = static_cast<std::uint8_t>((kYR * r + kYG * g + kYB * b) >> kFixedShift);
            if (chromaRow && (i % 2) == 0) {
                uRow[i / 2] = chroma(r, g, b, kUR, kUG, kUB);
                vRow[i / 2] = chroma(r, g, b, kVR, kVG, kVB);
            }
        }
    }
    return out;
}

} // namespace streaming
