// Conversion of a capture-layout image (B, G, R, X) to one contiguous I420 buffer for the H.264
// encoder: full-range BT.601 in integer arithmetic, each 2x2 block taking its top-left pixel's
// chroma. A pure function; any thread may call it.
#pragma once

#include "streaming/PlainImage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace streaming {

// Bytes of a contiguous I420 image: the Y plane, then quarter-size U and V planes.
std::size_t i420Size(int width, int height);

// Which row kernels run: the widest the processor offers, those of 128-bit registers at most, or
// the portable ones. All give the same bytes (the tests compare them).
enum class ConversionKernels { Widest, Upto128Bits, Portable };

// Answers width x height x 3 / 2 bytes, or an empty vector (logged) when the image is invalid or
// a side is odd: chroma rows of an odd width would run into each other.
std::vector<std::uint8_t> yuv420DataFromImage(const ImageView& image);
std::vector<std::uint8_t> yuv420DataFromImage(const ImageView& image, ConversionKernels kernels);

} // namespace streaming
