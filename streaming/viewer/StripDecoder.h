// Decodes the picture of one strip from the teacher: JPEG through TurboJPEG, any other format Qt
// reads through Qt with an allocation limit. The image header is read first, and a picture larger
// than the tiles it covers (plus a little slack for coders that pad) is refused before a pixel is
// allocated. One decoder per thread (it keeps its TurboJPEG handle); the viewer's main thread.
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

class StripDecoder {
public:
    StripDecoder();
    ~StripDecoder();
    StripDecoder(const StripDecoder&) = delete;
    StripDecoder& operator=(const StripDecoder&) = delete;

    // The strip's pixels in the capture layout, opaque; an empty image (logged) when the bytes are
    // no picture or one the bounds refuse.
    PlainImage decode(std::span<const std::uint8_t> bytes, const StripBounds& bounds);

private:
    PlainImage decodeJpeg(std::span<const std::uint8_t> bytes, const StripBounds& bounds);
    PlainImage decodeOther(std::span<const std::uint8_t> bytes, const StripBounds& bounds);

    void* m_jpeg = nullptr; // TurboJPEG handle, owned
};

} // namespace streaming
