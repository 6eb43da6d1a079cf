#include "streaming/ProportionalScaling.h"

#include "platform/Log.h"
#include "streaming/ImageScaling.h"

namespace streaming {

ImageSize uploadPixelSize(ImageSize requested, bool retinaDisplay) {
    if (!retinaDisplay) {
        return requested;
    }
    return {requested.width / kRetinaPixelsPerPoint * kRetinaPixelsPerPoint,
            requested.height / kRetinaPixelsPerPoint * kRetinaPixelsPerPoint};
}

std::optional<PlainImage> imgResize(const ImageView& source, ImageSize newSize) {
    if (!source.isValid() || !isValidImageSize(newSize)) {
        platform::logf("[ZQ]Invalid Image");
        return std::nullopt;
    }
    PlainImage result = scaleImage(source, newSize);
    if (result.isEmpty()) {
        platform::logf("[ZQ]Invalid Image");
        return std::nullopt;
    }
    return result;
}

std::vector<std::uint8_t> imgCompressedByFactor(JpegCompressor& compressor, const ImageView& image,
                                                float factor, bool retinaDisplay) {
    // Written as a negated range test so that a factor that is not a number is refused too.
    if (retinaDisplay && !(factor >= kRetinaMinFactor && factor <= kRetinaMaxFactor)) {
        return {};
    }
    return compressor.compress(image, jpegQualityForFactor(factor));
}

std::vector<std::uint8_t> imageCompressedByFactor(JpegCompressor& compressor, const ImageView& image,
                                                  float factor) {
    return compressor.compress(image, jpegQualityForFactor(factor));
}

} // namespace streaming
