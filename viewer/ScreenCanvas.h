// The viewer's one persistent canvas: the teacher's picture at the canvas size, 4 bytes a pixel in
// the capture layout (B, G, R, A; tiles never received stay transparent black). An update writes
// only the rectangles it changes and records them as the region to present. Main thread of the
// viewer.
#pragma once

#include "streaming/H264DecodeData.h"
#include "streaming/PlainImage.h"
#include "viewer/StripDecoder.h"
#include "viewer/TileGrid.h"

#include <cstdint>
#include <vector>

namespace viewer {

struct CanvasRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool intersects(const CanvasRect& other) const;
    bool operator==(const CanvasRect&) const = default;
};

// Where a strip's tiles lie on the canvas: the rectangle they cover together, and whether they
// are neighbours in one row, in list order, all as tall as that rectangle (the strips a teacher
// sends). Then the strip's picture maps onto the rectangle one to one.
struct StripPlacement {
    CanvasRect area;
    bool inOneRow = false;
};

class ScreenCanvas {
public:
    // A transparent canvas of the size; an unacceptable size leaves it empty.
    void reset(int width, int height);
    bool isEmpty() const { return m_image.isEmpty(); }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    const streaming::PlainImage& image() const { return m_image; }

    // Cuts a strip into the grid's tiles: the strip's tiles lie side by side from its top-left
    // corner, in list order. Each tile's rectangle takes the part of the strip over it; the part the
    // strip does not reach turns transparent. The list must have passed the grid's check.
    void writeStrip(TileGrid& grid, const std::vector<std::int32_t>& indexes, int count,
                    const streaming::ImageView& strip);

    // Where the listed tiles lie; the list must have passed the grid's check.
    static StripPlacement placeStrip(const TileGrid& grid, const std::vector<std::int32_t>& indexes,
                                     int count);
    // The pixels of a rectangle of the canvas, for a decoder to write into; none when the rectangle
    // is not wholly inside the canvas.
    PixelRegion region(const CanvasRect& rect);
    // Marks the listed tiles received and changed, after their pixels were decoded into place.
    void markStrip(TileGrid& grid, const std::vector<std::int32_t>& indexes, int count);

    // Shows a decoded frame: its top-left shownWidth x shownHeight pixels (the sender's picture,
    // without the coder's padding) scaled to the whole canvas. False (logged) for a frame that is
    // not a consistent 4:2:0 picture.
    bool drawFrame(const streaming::H264DecodeData& frame, int shownWidth, int shownHeight);

    // The region changed since the last call, and forgets it.
    CanvasRect takeDirty();

private:
    void addDirty(const CanvasRect& rect);
    // I420 rows to the canvas's rows 0..height; libyuv's status (0 when every band converted).
    int convertInBands(const std::uint8_t* y, int lumaStride, const std::uint8_t* u, const std::uint8_t* v,
                       int chromaStride, int width, int height);

    streaming::PlainImage m_image;
    CanvasRect m_dirty;
    std::vector<std::uint8_t> m_scaled; // scratch I420 picture at the canvas size
};

} // namespace viewer
