// Colours from 0xRRGGBB integers (red in bits 16-23, green 8-15, blue 0-7; each channel / 255.0),
// for the windows' backgrounds and strokes. Pure functions, any thread.
#pragma once

#include <QColor>
#include <cstdint>

class CGColorHex {
public:
    // The darkening variants subtract from the whole integer, not per channel, so a borrow lowers
    // the next channel; the values the windows pass never borrow.
    static constexpr std::uint32_t kViewDarkening = 0x10160C;
    static constexpr std::uint32_t kDrawViewDarkening = 0x070707;

    static QColor getCGColorHex(std::uint32_t value);
    static QColor getCGColorHexByView(std::uint32_t value);
    static QColor getCGColorHexByDrawView(std::uint32_t value);
    static QColor getNSColorHex(std::uint32_t value);
};
