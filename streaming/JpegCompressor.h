// JPEG compression of capture-layout images through TurboJPEG, straight from the pixel rows (no
// copy, the real row stride). One compressor per thread: it keeps a TurboJPEG handle and its
// output buffer between frames, so a 30-per-second stream allocates nothing per frame.
#pragma once

#include "streaming/PlainImage.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace streaming {

constexpr int kJpegMinQuality = 1;
constexpr int kJpegMaxQuality = 100;

// The console's compression factor (0.0 to 1.0) as a JPEG quality: factor x 100 rounded, clamped to
// 1..100; a factor that is not a number gives the lowest quality.
int jpegQualityForFactor(float factor);

class JpegCompressor {
public:
    JpegCompressor();
    ~JpegCompressor();
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    // Compresses the view at quality (clamped to 1..100), 4:2:0 chroma. Answers an empty vector
    // (and logs why) when the view is invalid or the library fails: nothing to send.
    std::vector<std::uint8_t> compress(const ImageView& image, int quality);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace streaming
