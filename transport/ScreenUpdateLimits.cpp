#include "transport/ScreenUpdateLimits.h"

namespace transport {

void ScreenUpdateLimits::setGrid(std::uint64_t tiles, std::uint64_t tilePixels) {
    m_tiles.store(tiles);
    m_tilePixels.store(tilePixels);
}

void ScreenUpdateLimits::setEncodeSize(std::uint64_t width, std::uint64_t height) {
    m_encodePixels.store(width * height);
}

std::uint64_t ScreenUpdateLimits::maxStripBytes() const {
    if (!hasGrid())
        return kStripHeaderBytes + kTileIndexBytes + kMaxCanvasPixels * kBytesPerPixel;
    return maxInflatedBytes(tileCount());
}

std::uint64_t ScreenUpdateLimits::maxFrameBytes() const {
    // Before the encode size is known, the canvas the frame will be shown on bounds it.
    std::uint64_t pixels = m_encodePixels.load();
    if (pixels == 0)
        pixels = m_tiles.load() * m_tilePixels.load();
    return pixels == 0 ? kDecoderMaxFrameBytes : pixels * kBytesPerPixel + kFrameHeaderSlackBytes;
}

} // namespace transport
