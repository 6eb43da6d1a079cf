// A fast area-averaging shrink in fixed point: each target pixel is the weighted mean of the
// source pixels under it, with the weights rounded to a power-of-two fraction, one pass over the
// source. Pure functions; any thread may call them.
#pragma once

#include "streaming/PlainImage.h"

namespace streaming {

// The most source pixels one target pixel may span on either axis: past it the rounded weights
// grow too coarse, and the caller shrinks in exact box steps first.
constexpr int kMaxFastAreaRatio = 32;

// Which row kernels run: the widest the processor offers, those of 256-bit registers at most, or
// the portable ones. All give the same bytes (the tests compare them).
enum class AreaKernels { Widest, Upto256Bits, Portable };

// Whether source -> target is a shrink (or equal) on both axes within kMaxFastAreaRatio.
bool fitsFastAreaAverage(ImageSize source, ImageSize target);

// Shrinks source to target. Within a few levels of the exact area average (a flat colour stays
// exact). Answers an empty image when the sizes are invalid or do not fit.
PlainImage scaleByFastAreaAverage(const ImageView& source, ImageSize target,
                                  AreaKernels kernels = AreaKernels::Widest);

} // namespace streaming
