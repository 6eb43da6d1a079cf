// The pen colours of the note tool, in one table: the names its colour buttons and their images
// are called by, the colour both drawing surfaces paint, and the number the console reads. Plain
// data and functions; any thread.
#pragma once

#include <cstdint>

namespace streaming {

struct PenColour {
    const char* name = ""; // lower case, as in the image names ("color_red_normal")
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
};

// The note-tool panel has a button for each of the first eight colour modes.
constexpr int kPenColourButtons = 8;
// Colour modes: 0 black, 1 red, 2 blue, 3 white, 4 yellow, 5 pink, 6 green, 7 cyan, 8 brown.
constexpr int kLastColourMode = 8;

// The colour of a colour mode; any other value black.
PenColour penColour(int colorMode);
// The colour as the console reads it: R + G x 256 + B x 65536, each channel trunc(component x 255).
std::uint64_t penColourValue(int colorMode);

} // namespace streaming
