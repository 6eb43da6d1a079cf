// One tile of the teacher's shared screen: its number, its rectangle in the teacher's picture
// (top-left origin, right and bottom exclusive) and whether it has received a picture. The tile's
// pixels live in the viewer's one persistent canvas at m_rect, so the record holds no image of its
// own. Plain value; the viewer's main thread owns every tile.
#pragma once

#include "panel/CRect.h"

#include <cstdint>

namespace viewer {

class ScreenPartData {
public:
    static constexpr int kBitsPerPixel = 32;

    ScreenPartData() = default;
    // The bit depth is accepted for the callers' sake and not stored: every tile is 32-bit.
    ScreenPartData(const CRect& rect, int /*nBits*/, std::int32_t partNum)
        : m_nPartNum(partNum), m_rect(rect) {}

    std::int32_t m_nPartNum = 0;
    CRect m_rect;
    bool m_bInit = false;      // the tile has received a picture
    bool m_bRefreshed = false; // the tile changed since the viewer last drew it
};

} // namespace viewer
