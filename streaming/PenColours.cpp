#include "streaming/PenColours.h"

#include <cmath>

namespace streaming {
namespace {

constexpr double kChannelMax = 255.0;
constexpr std::uint64_t kGreenShift = 256;
constexpr std::uint64_t kBlueShift = 65536;

// Brown is written with single-precision constants, which the channel values keep (0x99, 0x66, 0x33).
constexpr PenColour kColours[kLastColourMode + 1] = {
    {"black", 0, 0, 0}, {"red", 1, 0, 0},    {"blue", 0, 0, 1},
    {"white", 1, 1, 1}, {"yellow", 1, 1, 0}, {"pink", 1, 0, 1},
    {"green", 0, 1, 0}, {"cyan", 0, 1, 1},   {"brown", 0.6f, 0.4f, 0.2f},
};

std::uint64_t channel(double component) {
    return static_cast<std::uint64_t>(std::trunc(component * kChannelMax));
}

} // namespace

PenColour penColour(int colorMode) {
    if (colorMode < 0 || colorMode > kLastColourMode)
        return kColours[0];
    return kColours[colorMode];
}

std::uint64_t penColourValue(int colorMode) {
    const PenColour c = penColour(colorMode);
    return channel(c.red) + channel(c.green) * kGreenShift + channel(c.blue) * kBlueShift;
}

} // namespace streaming
