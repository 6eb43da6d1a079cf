#include "streaming/JpegCompressor.h"

#include "platform/Log.h"

#include <algorithm>
#include <cmath>
#include <turbojpeg.h>

namespace streaming {

namespace {
constexpr float kFactorToQuality = 100.0f;
} // namespace

int jpegQualityForFactor(float factor) {
    if (std::isnan(factor)) {
        return kJpegMinQuality;
    }
    const float scaled = std::clamp(factor * kFactorToQuality, static_cast<float>(kJpegMinQuality),
                                    static_cast<float>(kJpegMaxQuality));
    return static_cast<int>(std::lround(scaled));
}

struct JpegCompressor::Handle {
    tjhandle handle = nullptr;
    unsigned char* buffer = nullptr; // TurboJPEG's own, grown by the library as needed
    unsigned long bufferSize = 0;

    ~Handle() {
        if (buffer != nullptr) {
            tjFree(buffer);
        }
        if (handle != nullptr) {
            tjDestroy(handle);
        }
    }
};

JpegCompressor::JpegCompressor() : m_handle(std::make_unique<Handle>()) {
    m_handle->handle = tjInitCompress();
    if (m_handle->handle == nullptr) {
        platform::logf("[ZQ]JPEG compressor unavailable: %s", tjGetErrorStr2(nullptr));
    }
}

JpegCompressor::~JpegCompressor() = default;

std::vector<std::uint8_t> JpegCompressor::compress(const ImageView& image, int quality) {
    if (m_handle->handle == nullptr) {
        return {};
    }
    if (!image.isValid()) {
        platform::logf("[ZQ]JPEG compression refused an invalid image %dx%d", image.width, image.height);
        return {};
    }
    const int clamped = std::clamp(quality, kJpegMinQuality, kJpegMaxQuality);
    unsigned long jpegSize = m_handle->bufferSize;
    // The capture buffer is read in place: TJPF_BGRX is exactly its byte order, the pitch its stride.
    const int result =
        tjCompress2(m_handle->handle, image.data, image.width, static_cast<int>(image.stride), image.height,
                    TJPF_BGRX, &m_handle->buffer, &jpegSize, TJSAMP_420, clamped, 0);
    if (result != 0 || m_handle->buffer == nullptr || jpegSize == 0) {
        platform::logf("[ZQ]JPEG compression failed: %s", tjGetErrorStr2(m_handle->handle));
        return {};
    }
    m_handle->bufferSize = std::max(m_handle->bufferSize, jpegSize);
    return std::vector<std::uint8_t>(m_handle->buffer, m_handle->buffer + jpegSize);
}

} // namespace streaming
