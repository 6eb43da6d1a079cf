// Decodes the picture of one strip from the teacher: JPEG through TurboJPEG, PNG through libpng,
// the other plain raster formats Qt reads through Qt with an allocation limit. The image header is read
// first, and a picture larger than the tiles it covers (plus a little slack for coders that pad) is refused
// before a pixel is allocated. One decoder per thread (it keeps its TurboJPEG handle); the viewer decodes the
// strips of one tick on several threads at once, each with its own decoder.
#pragma once

#include "streaming/PlainImage.h"

#include <cstdint>
#include <memory>
#include <span>

namespace viewer {

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
    std::ptrdiff_t stride() const { return static_cast<std::ptrdiff_t>(m_width) * streaming::kBytesPerPixel; }
    std::uint8_t* data() { return m_pixels.get(); }
    std::uint8_t* row(int y) { return m_pixels.get() + y * stride(); }
    streaming::ImageView view() const { return {m_pixels.get(), m_width, m_height, stride()}; }

private:
    std::unique_ptr<std::uint8_t[]> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

// Pixels a strip may be decoded straight into: a rectangle of the canvas, capture layout.
struct PixelRegion {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one row to the next
};

class StripDecoder {
public:
    enum class InPlace {
        Decoded,       // the region holds the strip's pixels, opaque
        NotApplicable, // no JPEG of exactly the region's size: decode it apart
        Failed,        // such a JPEG that does not decode (logged); the region's pixels are undefined
    };

    StripDecoder();
    ~StripDecoder();
    StripDecoder(const StripDecoder&) = delete;
    StripDecoder& operator=(const StripDecoder&) = delete;

    // The strip's pixels in the capture layout, opaque; an empty image (logged) when the bytes are
    // no picture or one the bounds refuse.
    DecodedStrip decode(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    // Decodes a JPEG strip whose header matches the region's size exactly (what the teacher sends
    // for a row of tiles) straight into the region: no buffer of its own and no copy afterwards.
    InPlace decodeInto(std::span<const std::uint8_t> bytes, const PixelRegion& region);

private:
    bool readJpegHeader(std::span<const std::uint8_t> bytes, int& width, int& height);
    bool decompressJpeg(std::span<const std::uint8_t> bytes, const PixelRegion& into);
    DecodedStrip decodeJpeg(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    DecodedStrip decodePng(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    DecodedStrip decodeOther(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    // A handle that failed on a stream answers every later stream with that failure: it is
    // replaced by a fresh one.
    void renewJpegHandle();

    void* m_jpeg = nullptr; // TurboJPEG handle, owned
};

} // namespace viewer
