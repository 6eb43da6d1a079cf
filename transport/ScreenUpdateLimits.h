// What the console has announced about the screen it will send, as bounds for the receive side: the
// tile grid of the teacher's canvas (a compressed strip names at most every tile once and carries
// at most four bytes a pixel for each tile it names) and the H.264 encode size. The client object
// sets them from its command handlers; the links' receive threads read them while parsing.
// Thread-safe: every value is atomic, read and written from any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace transport {

class ScreenUpdateLimits {
public:
    // A decoded picture is four bytes a pixel: a strip or a frame the canvas could show never
    // carries more than that for the pixels it covers.
    static constexpr std::uint64_t kBytesPerPixel = 4;
    // The inflated strip's own headers: an unread word, the tile count and the image size.
    static constexpr std::uint64_t kStripHeaderBytes = 12;
    static constexpr std::uint64_t kTileIndexBytes = 4;
    // An encoded frame may carry its parameter sets and slice headers beyond raw macroblocks.
    static constexpr std::uint64_t kFrameHeaderSlackBytes = 64 * 1024;
    // The largest canvas the viewer builds. Before the console announces its canvas, a strip is
    // bounded as a strip of a canvas this large.
    static constexpr std::uint64_t kMaxCanvasPixels = 64ull * 1024 * 1024;
    // The H.264 library's decoder refuses an access unit longer than its capacity, the largest frame
    // of level 5.2. Before the console announces an encode size or a canvas, a frame is bounded by
    // what that decoder would take.
    static constexpr std::uint64_t kDecoderMaxFrameBytes = 7077888;

    // The grid the console's canvas announcement makes: tile count and one tile's pixel count.
    void setGrid(std::uint64_t tiles, std::uint64_t tilePixels);
    // The encode size of the console's H.264 stream.
    void setEncodeSize(std::uint64_t width, std::uint64_t height);

    bool hasGrid() const { return m_tiles.load() > 0 && m_tilePixels.load() > 0; }
    std::uint64_t tileCount() const { return m_tiles.load(); }
    // Image bytes a strip naming count tiles may carry (the tiles at four bytes a pixel).
    std::uint64_t maxImageBytes(std::uint64_t count) const {
        return count * m_tilePixels.load() * kBytesPerPixel;
    }
    // Inflated bytes a strip naming count tiles may carry: headers, its list and its picture.
    std::uint64_t maxInflatedBytes(std::uint64_t count) const {
        return kStripHeaderBytes + count * kTileIndexBytes + maxImageBytes(count);
    }
    // Inflated bytes of the largest strip the grid allows (every tile named once); without a grid,
    // those of one strip covering the largest canvas.
    std::uint64_t maxStripBytes() const;
    // Bytes of the largest frame of the announced encode size (of the canvas while no encode size
    // was announced); the decoder's own limit while neither was.
    std::uint64_t maxFrameBytes() const;

private:
    std::atomic<std::uint64_t> m_tiles{0};
    std::atomic<std::uint64_t> m_tilePixels{0};
    std::atomic<std::uint64_t> m_encodePixels{0};
};

} // namespace transport
