#include "streaming/viewer/ScreenCanvas.h"

#include "platform/Log.h"

#include <algorithm>
#include <cstring>
#include <libyuv.h>

namespace streaming {

void ScreenCanvas::reset(int width, int height) {
    m_dirty = {};
    if (!isAcceptableCanvas(width, height)) {
        m_image = PlainImage();
        return;
    }
    m_image = PlainImage(width, height);
    addDirty({0, 0, width, height});
}

void ScreenCanvas::addDirty(const CanvasRect& rect) {
    if (rect.empty())
        return;
    if (m_dirty.empty()) {
        m_dirty = rect;
        return;
    }
    const int left = std::min(m_dirty.x, rect.x);
    const int top = std::min(m_dirty.y, rect.y);
    const int right = std::max(m_dirty.x + m_dirty.width, rect.x + rect.width);
    const int bottom = std::max(m_dirty.y + m_dirty.height, rect.y + rect.height);
    m_dirty = {left, top, right - left, bottom - top};
}

CanvasRect ScreenCanvas::takeDirty() {
    CanvasRect dirty = m_dirty;
    m_dirty = {};
    return dirty;
}

void ScreenCanvas::writeStrip(TileGrid& grid, const std::vector<std::int32_t>& indexes, int count,
                              const ImageView& strip) {
    if (m_image.isEmpty() || grid.canvasWidth() != width() || grid.canvasHeight() != height())
        return;
    const bool stripUsable = strip.isValid();
    std::int64_t x = 0;
    for (int i = 0; i < count; ++i) {
        ScreenPartData& tile = grid.tile(static_cast<std::size_t>(indexes[static_cast<std::size_t>(i)]));
        const int tileLeft = static_cast<int>(tile.m_rect.left);
        const int tileTop = static_cast<int>(tile.m_rect.top);
        const int tileWidth = static_cast<int>(tile.m_rect.getWidth());
        const int tileHeight = static_cast<int>(tile.m_rect.getHeight());
        // The part of the strip over this tile: (x, 0, tile size) cut to the strip's bounds.
        const std::int64_t copyWidth =
            stripUsable ? std::clamp<std::int64_t>(strip.width - x, 0, tileWidth) : 0;
        const int copyHeight = stripUsable ? std::min(strip.height, tileHeight) : 0;
        const std::size_t rowBytes = static_cast<std::size_t>(tileWidth) * kBytesPerPixel;
        const std::size_t copyBytes = static_cast<std::size_t>(copyWidth) * kBytesPerPixel;
        for (int row = 0; row < tileHeight; ++row) {
            std::uint8_t* out =
                m_image.row(tileTop + row) + static_cast<std::ptrdiff_t>(tileLeft) * kBytesPerPixel;
            std::size_t done = 0;
            if (row < copyHeight && copyBytes > 0) {
                std::memcpy(out, strip.row(row) + x * kBytesPerPixel, copyBytes);
                done = copyBytes;
            }
            if (done < rowBytes)
                std::memset(out + done, 0, rowBytes - done);
        }
        tile.m_bInit = true;
        tile.m_bRefreshed = true;
        addDirty({tileLeft, tileTop, tileWidth, tileHeight});
        x += tileWidth;
    }
}

bool ScreenCanvas::drawFrame(const H264DecodeData& frame, int shownWidth, int shownHeight) {
    if (m_image.isEmpty())
        return false;
    const int chromaWidth = (frame.width + 1) / 2;
    const bool consistent = isValidImageSize({frame.width, frame.height}) && frame.stride[0] >= frame.width &&
                            frame.stride[1] >= chromaWidth &&
                            frame.y.size() >= static_cast<std::size_t>(frame.stride[0]) *
                                                  static_cast<std::size_t>(frame.height) &&
                            frame.u.size() >= static_cast<std::size_t>(frame.stride[1]) *
                                                  static_cast<std::size_t>(chromaRows(frame.height)) &&
                            frame.v.size() >= static_cast<std::size_t>(frame.stride[1]) *
                                                  static_cast<std::size_t>(chromaRows(frame.height));
    if (!consistent) {
        platform::logf("[ZQ]Decoded frame %dx%d is inconsistent; not shown", frame.width, frame.height);
        return false;
    }
    // The sender's size when it fits the picture, the whole picture otherwise.
    const int srcWidth = shownWidth > 0 && shownWidth <= frame.width ? shownWidth : frame.width;
    const int srcHeight = shownHeight > 0 && shownHeight <= frame.height ? shownHeight : frame.height;
    const int w = width();
    const int h = height();
    int status = 0;
    if (srcWidth == w && srcHeight == h) {
        status = libyuv::I420ToARGB(frame.y.data(), frame.stride[0], frame.u.data(), frame.stride[1],
                                    frame.v.data(), frame.stride[1], m_image.data(),
                                    static_cast<int>(m_image.stride()), w, h);
    } else {
        // Scale in 4:2:0 first (a third of the bytes of the 32-bit picture), then convert once.
        const int cw = (w + 1) / 2;
        const std::size_t lumaBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        const std::size_t chromaBytes = static_cast<std::size_t>(cw) * static_cast<std::size_t>((h + 1) / 2);
        m_scaled.resize(lumaBytes + 2 * chromaBytes);
        std::uint8_t* y = m_scaled.data();
        std::uint8_t* u = y + lumaBytes;
        std::uint8_t* v = u + chromaBytes;
        status = libyuv::I420Scale(frame.y.data(), frame.stride[0], frame.u.data(), frame.stride[1],
                                   frame.v.data(), frame.stride[1], srcWidth, srcHeight, y, w, u, cw, v, cw,
                                   w, h, libyuv::kFilterBilinear);
        if (status == 0)
            status = libyuv::I420ToARGB(y, w, u, cw, v, cw, m_image.data(),
                                        static_cast<int>(m_image.stride()), w, h);
    }
    if (status != 0) {
        platform::logf("[ZQ]Frame conversion failed: %d", status);
        return false;
    }
    addDirty({0, 0, w, h});
    return true;
}

} // namespace streaming
