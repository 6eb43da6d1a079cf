// Resizing and JPEG compression of whole images with the display rules of the screen upload:
// sizes in points become pixels by the backing scale, and a high-density ("Retina") display only
// takes compression factors from 0.1 to 1.0. Plain images, so capture threads can use them; a
// JpegCompressor is passed in because it is one per thread.
#pragma once

#include "streaming/JpegCompressor.h"
#include "streaming/PlainImage.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace streaming {

// On a high-density display every point is drawn with this many pixels per side.
constexpr int kRetinaPixelsPerPoint = 2;
constexpr float kRetinaMinFactor = 0.1f;
constexpr float kRetinaMaxFactor = 1.0f;

// Pixel size of an upload image asked for at `requested`: on a high-density display the request
// is halved to points (integer division) and drawn at two pixels per point, so an odd size loses
// one pixel; otherwise it is the request itself.
ImageSize uploadPixelSize(ImageSize requested, bool retinaDisplay);

// The image redrawn at newSize (pixels), by area averaging when it shrinks. Logs "[ZQ]Invalid
// Image" and answers nothing when the source is not a usable image or the size is not valid.
std::optional<PlainImage> imgResize(const ImageView& source, ImageSize newSize);
// The same operation under the name the panel uses for board backgrounds.
inline std::optional<PlainImage> imageResize(const ImageView& source, ImageSize newSize) {
    return imgResize(source, newSize);
}

// JPEG of the image at the console's compression factor. On a high-density display a factor
// outside 0.1..1.0 answers nothing; otherwise the factor becomes a quality clamped to 1..100. An
// empty result means nothing may be sent.
std::vector<std::uint8_t> imgCompressedByFactor(JpegCompressor& compressor, const ImageView& image,
                                                float factor, bool retinaDisplay);
// JPEG for saved boards: no display rule, the factor only clamped.
std::vector<std::uint8_t> imageCompressedByFactor(JpegCompressor& compressor, const ImageView& image,
                                                  float factor);

} // namespace streaming
