// A plain 32-bit image in the capture layout (bytes B, G, R, X per pixel, rows `stride` bytes apart)
// and a borrowed view of one. Any thread may use them; an image is not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace streaming {

constexpr int kBytesPerPixel = 4;
// Larger than any screen; keeps every size product far from overflowing 64-bit arithmetic.
constexpr int kMaxImageSide = 16384;

struct ImageSize {
    int width = 0;
    int height = 0;
    bool operator==(const ImageSize&) const = default;
};

// Borrowed pixels: valid only while the owner keeps them (a capture frame, a PlainImage).
struct ImageView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next

    ImageSize size() const { return {width, height}; }
    // A view is usable when its sizes are sane and every row lies inside the pixel buffer the
    // stride promises (stride at least width * 4).
    bool isValid() const;
    const std::uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// An owned image with tightly packed rows.
class PlainImage {
public:
    PlainImage() = default;
    // Allocates width x height pixels set to zero; an invalid size gives an empty image.
    PlainImage(int width, int height);

    bool isEmpty() const { return m_pixels.empty(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(m_width) * kBytesPerPixel; }
    ImageSize size() const { return {m_width, m_height}; }
    std::uint8_t* data() { return m_pixels.data(); }
    const std::uint8_t* data() const { return m_pixels.data(); }
    std::uint8_t* row(int y) { return m_pixels.data() + static_cast<std::ptrdiff_t>(y) * stride(); }
    const std::uint8_t* row(int y) const {
        return m_pixels.data() + static_cast<std::ptrdiff_t>(y) * stride();
    }
    ImageView view() const { return {m_pixels.data(), m_width, m_height, stride()}; }

    // A packed copy of the view; empty when the view is invalid.
    static PlainImage copyOf(const ImageView& view);

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_pixels;
};

bool isValidImageSize(ImageSize size);

} // namespace streaming
