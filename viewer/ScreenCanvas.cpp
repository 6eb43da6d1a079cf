#include "viewer/ScreenCanvas.h"

#include "platform/Log.h"
#include "viewer/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <libyuv.h>

namespace viewer {
namespace {

// Every decoded frame comes from the console's stream, which it may send without end: each kind of
// frame refused is held to a few lines a second.
constexpr int kFrameLinesPerSecond = 3;

platform::LogRateLimit& inconsistentFrameLog() {
    static platform::LogRateLimit limit(kFrameLinesPerSecond);
    return limit;
}

platform::LogRateLimit& conversionLog() {
    static platform::LogRateLimit limit(kFrameLinesPerSecond);
    return limit;
}

} // namespace

bool CanvasRect::intersects(const CanvasRect& other) const {
    return !empty() && !other.empty() && x < other.x + other.width && other.x < x + width &&
           y < other.y + other.height && other.y < y + height;
}

void ScreenCanvas::reset(int width, int height) {
    m_dirty = {};
    if (!isAcceptableCanvas(width, height)) {
        m_image = streaming::PlainImage();
        return;
    }
    m_image = streaming::PlainImage(width, height);
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
                              const streaming::ImageView& strip) {
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
        const std::size_t rowBytes = static_cast<std::size_t>(tileWidth) * streaming::kBytesPerPixel;
        const std::size_t copyBytes = static_cast<std::size_t>(copyWidth) * streaming::kBytesPerPixel;
        for (int row = 0; row < tileHeight; ++row) {
            std::uint8_t* out = m_image.row(tileTop + row) +
                                static_cast<std::ptrdiff_t>(tileLeft) * streaming::kBytesPerPixel;
            std::size_t done = 0;
            if (row < copyHeight && copyBytes > 0) {
                std::memcpy(out, strip.row(row) + x * streaming::kBytesPerPixel, copyBytes);
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

StripPlacement ScreenCanvas::placeStrip(const TileGrid& grid, const std::vector<std::int32_t>& indexes,
                                        int count) {
    StripPlacement place;
    if (count < 1)
        return place;
    std::int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    bool inOneRow = true;
    std::int64_t nextLeft = 0;
    for (int i = 0; i < count; ++i) {
        const CRect& r = grid.tile(static_cast<std::size_t>(indexes[static_cast<std::size_t>(i)])).m_rect;
        if (i == 0)
            nextLeft = r.left;
        inOneRow = inOneRow && r.left == nextLeft && (i == 0 || (r.top == top && r.bottom == bottom));
        nextLeft = r.right;
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
    }
    // Tiles lie inside a grid that fits an int-sized canvas.
    place.area = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                  static_cast<int>(bottom - top)};
    place.inOneRow = inOneRow;
    return place;
}

PixelRegion ScreenCanvas::region(const CanvasRect& rect) {
    if (m_image.isEmpty() || rect.empty() || rect.x < 0 || rect.y < 0 || rect.width > width() - rect.x ||
        rect.height > height() - rect.y)
        return {};
    return {m_image.row(rect.y) + static_cast<std::ptrdiff_t>(rect.x) * streaming::kBytesPerPixel, rect.width,
            rect.height, m_image.stride()};
}

void ScreenCanvas::markStrip(TileGrid& grid, const std::vector<std::int32_t>& indexes, int count) {
    for (int i = 0; i < count; ++i) {
        ScreenPartData& tile = grid.tile(static_cast<std::size_t>(indexes[static_cast<std::size_t>(i)]));
        tile.m_bInit = true;
        tile.m_bRefreshed = true;
        addDirty({static_cast<int>(tile.m_rect.left), static_cast<int>(tile.m_rect.top),
                  static_cast<int>(tile.m_rect.getWidth()), static_cast<int>(tile.m_rect.getHeight())});
    }
}

int ScreenCanvas::convertInBands(const std::uint8_t* y, int lumaStride, const std::uint8_t* u,
                                 const std::uint8_t* v, int chromaStride, int width, int height) {
    // A whole picture per frame: its rows are converted on several threads at once, each band
    // starting on an even row so it reads its own chroma rows.
    std::atomic<int> failure{0};
    runInParallel(kParallelPieces, [&](std::size_t piece) {
        const RowBand band = rowBand(height, kParallelPieces, piece);
        if (band.end <= band.first)
            return;
        const std::ptrdiff_t chromaRow = band.first / 2;
        const int status = libyuv::I420ToARGB(
            y + static_cast<std::ptrdiff_t>(band.first) * lumaStride, lumaStride,
            u + chromaRow * chromaStride, chromaStride, v + chromaRow * chromaStride, chromaStride,
            m_image.row(band.first), static_cast<int>(m_image.stride()), width, band.end - band.first);
        if (status != 0)
            failure.store(status);
    });
    return failure.load();
}

bool ScreenCanvas::drawFrame(const streaming::H264DecodeData& frame, int shownWidth, int shownHeight) {
    if (m_image.isEmpty())
        return false;
    const int chromaWidth = (frame.width + 1) / 2;
    const bool consistent =
        streaming::isValidImageSize({frame.width, frame.height}) && frame.stride[0] >= frame.width &&
        frame.stride[1] >= chromaWidth &&
        frame.y.size() >=
            static_cast<std::size_t>(frame.stride[0]) * static_cast<std::size_t>(frame.height) &&
        frame.u.size() >= static_cast<std::size_t>(frame.stride[1]) *
                              static_cast<std::size_t>(streaming::chromaRows(frame.height)) &&
        frame.v.size() >= static_cast<std::size_t>(frame.stride[1]) *
                              static_cast<std::size_t>(streaming::chromaRows(frame.height));
    if (!consistent) {
        inconsistentFrameLog().logf("[ZQ]Decoded frame %dx%d is inconsistent; not shown", frame.width,
                                    frame.height);
        return false;
    }
    // The sender's size when it fits the picture, the whole picture otherwise.
    const int srcWidth = shownWidth > 0 && shownWidth <= frame.width ? shownWidth : frame.width;
    const int srcHeight = shownHeight > 0 && shownHeight <= frame.height ? shownHeight : frame.height;
    const int w = width();
    const int h = height();
    int status = 0;
    if (srcWidth == w && srcHeight == h) {
        status = convertInBands(frame.y.data(), frame.stride[0], frame.u.data(), frame.v.data(),
                                frame.stride[1], w, h);
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
            status = convertInBands(y, w, u, v, cw, w, h);
    }
    if (status != 0) {
        conversionLog().logf("[ZQ]Frame conversion failed: %d", status);
        return false;
    }
    addDirty({0, 0, w, h});
    return true;
}

} // namespace viewer
