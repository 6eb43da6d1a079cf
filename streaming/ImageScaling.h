// Scaling of capture-layout images (B, G, R, X). Down-scaling averages areas, so a thumbnail of a
// screen full of fine text stays a faithful miniature instead of an aliased one. Pure functions;
// any thread may call them.
#pragma once

#include "streaming/PlainImage.h"

namespace streaming {

// Scales source to target. Shrinking averages the source area under each target pixel in one
// fixed-point pass (within a few levels of the exact average; exact 2x/4x box steps first where
// one target pixel would span more than kMaxFastAreaRatio source pixels); growing in either
// direction interpolates bilinearly. Answers an empty image when the source or the target size
// is invalid.
PlainImage scaleImage(const ImageView& source, ImageSize target);

// The exact fractional area average alone, without the box steps (also the reference of the
// scaling tests).
PlainImage scaleByAreaAverage(const ImageView& source, ImageSize target);

} // namespace streaming
