// Decodes the picture of one strip from the teacher: JPEG through TurboJPEG, any other format Qt
// reads through Qt with an allocation limit. The image header is read first, and a picture larger
// than the tiles it covers (plus a little slack for coders that pad) is refused before a pixel is
// allocated. One decoder per thread (it keeps its TurboJPEG handle); the viewer decodes the strips
// of one tick on several threads at once, each with its own decoder.
#pragma once

#include "streaming/PlainImage.h"

#include <cstdint>
#include <memory>
#include <span>

namespace streaming {

// Coders may round a strip up to their block size; more than this is no strip of these tiles.
constexpr int kStripSlack = 16;
constexpr std::int64_t kMaxStripPixels = 64LL * 1024 * 1024;
// Qt's own ceiling for one decoded picture, in megabytes (the pixel cap above at 4 bytes a pixel).
constexpr int kQtAllocationLimitMegabytes = 256;

struct StripBounds {
    std::int64_t maxWidth = 0; // tiles' total width, before slack
    std::int64_t maxHeight = 0;
};

// Whether a strip of the given header size may be decoded for these tiles.
bool isAcceptableStrip(int width, int height, const StripBounds& bounds);

// A decoded strip: capture-layout pixels, opaque, rows packed. Its buffer is not cleared before
// the decoder writes every byte of it.
class DecodedStrip {
public:
    DecodedStrip() = default;
    DecodedStrip(int width, int height);
    bool isEmpty() const { return !m_pixels; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(m_width) * kBytesPerPixel; }
    std::uint8_t* data() { return m_pixels.get(); }
    std::uint8_t* row(int y) { return m_pixels.get() + y * stride(); }
    ImageView view() const { return {m_pixels.get(), m_width, m_height, stride()}; }

private:
    std::unique_ptr<std::uint8_t[]> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

class StripDecoder {
public:
    StripDecoder();
    ~StripDecoder();
    StripDecoder(const StripDecoder&) = delete;
    StripDecoder& operator=(const StripDecoder&) = delete;

    // The strip's pixels in the capture layout, opaque; an empty image (logged) when the bytes are
    // no picture or one the bounds refuse.
    DecodedStrip decode(std::span<const std::uint8_t> bytes, const StripBounds& bounds);

private:
    DecodedStrip decodeJpeg(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    DecodedStrip decodeOther(std::span<const std::uint8_t> bytes, const StripBounds& bounds);

    void* m_jpeg = nullptr; // TurboJPEG handle, owned
};

} // namespace streaming
