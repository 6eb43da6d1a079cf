#include "panel/CGColorHex.h"

namespace {

constexpr std::uint32_t kChannelMask = 0xFF;
constexpr int kRedShift = 16;
constexpr int kGreenShift = 8;
constexpr double kChannelMax = 255.0;

QColor fromValue(std::uint32_t value) {
    return QColor::fromRgbF(static_cast<float>(((value >> kRedShift) & kChannelMask) / kChannelMax),
                            static_cast<float>(((value >> kGreenShift) & kChannelMask) / kChannelMax),
                            static_cast<float>((value & kChannelMask) / kChannelMax), 1.0f);
}

} // namespace

QColor CGColorHex::getCGColorHex(std::uint32_t value) {
    return fromValue(value);
}

// Unsigned subtraction: a value below the constant wraps and only its low 24 bits are read.
QColor CGColorHex::getCGColorHexByView(std::uint32_t value) {
    return fromValue(value - kViewDarkening);
}

QColor CGColorHex::getCGColorHexByDrawView(std::uint32_t value) {
    return fromValue(value - kDrawViewDarkening);
}

QColor CGColorHex::getNSColorHex(std::uint32_t value) {
    return fromValue(value);
}
