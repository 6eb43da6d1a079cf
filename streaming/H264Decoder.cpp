#include "streaming/H264Decoder.h"

#include "platform/Log.h"
#include "streaming/OpenH264Log.h"
#include "streaming/PlainImage.h"

#include <climits>
#include <cstring>
#include <wels/codec_api.h>

namespace streaming {

namespace {
constexpr int kBufferReady = 1;
constexpr int kStateBitstreamError = dsBitstreamError;
constexpr int kDecodeFailed = -1;
// Every unit the console sends is decoded, so what it cannot decode (a broken stream, a unit that
// completes no picture) could be logged once a unit without end: each kind is held to a few lines
// a second.
constexpr int kDecodeLinesPerSecond = 3;

platform::LogRateLimit& refusedUnitLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
platform::LogRateLimit& bitstreamErrorLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
platform::LogRateLimit& incompleteLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
platform::LogRateLimit& unusablePictureLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
platform::LogRateLimit& noDecoderLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
// A decoder lives as long as the viewer, which the console opens and closes without end.
platform::LogRateLimit& lifeLog() {
    static platform::LogRateLimit limit(kDecodeLinesPerSecond);
    return limit;
}
} // namespace

H264Decoder::H264Decoder() {
    if (WelsCreateDecoder(&m_pDecoder) != 0 || m_pDecoder == nullptr) {
        m_pDecoder = nullptr;
        return;
    }
    routeLibraryLog(m_pDecoder);
    SDecodingParam param;
    std::memset(&param, 0, sizeof(param));
    // The console sends plain AVC streams.
    param.sVideoProperty.eVideoBsType = VIDEO_BITSTREAM_AVC;
    m_pDecoder->Initialize(&param);
    lifeLog().logf("Initiallize completed");
}

H264Decoder::~H264Decoder() {
    destroyDecoder();
}

void H264Decoder::destroyDecoder() {
    if (m_pDecoder == nullptr) {
        return;
    }
    lifeLog().logf("Destroy decoder");
    m_pDecoder->Uninitialize();
    WelsDestroyDecoder(m_pDecoder);
    m_pDecoder = nullptr;
}

const std::uint8_t* H264Decoder::getYuvBuffer(int plane) const {
    return plane >= 0 && plane < kPlaneCount ? m_yuvBuffer[plane] : nullptr;
}

int H264Decoder::decodeH264DataBufferList(std::span<const std::uint8_t> unit, int /*width*/, int /*height*/) {
    std::memset(&m_bufferInfo, 0, sizeof(m_bufferInfo));
    for (auto& plane : m_yuvBuffer) {
        plane = nullptr;
    }
    if (m_pDecoder == nullptr) {
        noDecoderLog().logf("[ZQ]H264 decode without a decoder");
        return kDecodeFailed;
    }
    if (unit.empty() || unit.size() > static_cast<std::size_t>(INT_MAX)) {
        refusedUnitLog().logf("[ZQ]H264 decode refused a unit of %zu bytes", unit.size());
        return kDecodeFailed;
    }
    const DECODING_STATE state = m_pDecoder->DecodeFrameNoDelay(unit.data(), static_cast<int>(unit.size()),
                                                                m_yuvBuffer, &m_bufferInfo);
    if (m_bufferInfo.iBufferStatus == kBufferReady) {
        std::shared_ptr<H264DecodeData> frame = copyPicture();
        if (!frame) {
            return kDecodeFailed;
        }
        addYUVdata(std::move(frame));
        return 0;
    }
    if ((state & kStateBitstreamError) != 0) {
        bitstreamErrorLog().logf("Bitstream error detected");
        return kDecodeFailed;
    }
    incompleteLog().logf("Decoding incomplete, buffer status: %d, state: %d", m_bufferInfo.iBufferStatus,
                         static_cast<int>(state));
    return static_cast<int>(state);
}

std::shared_ptr<H264DecodeData> H264Decoder::copyPicture() const {
    const SSysMEMBuffer& picture = m_bufferInfo.UsrData.sSystemBuffer;
    const int width = picture.iWidth;
    const int height = picture.iHeight;
    const int lumaStride = picture.iStride[0];
    const int chromaStride = picture.iStride[1];
    const bool sane = isValidImageSize({width, height}) && picture.iFormat == videoFormatI420 &&
                      lumaStride >= width && chromaStride >= (width + 1) / 2 && m_yuvBuffer[0] != nullptr &&
                      m_yuvBuffer[1] != nullptr && m_yuvBuffer[2] != nullptr;
    if (!sane) {
        unusablePictureLog().logf("[ZQ]H264 decoder gave an unusable picture %dx%d format %d strides %d/%d",
                                  width, height, picture.iFormat, lumaStride, chromaStride);
        return nullptr;
    }
    auto frame = std::make_shared<H264DecodeData>();
    frame->width = width;
    frame->height = height;
    frame->stride[0] = lumaStride;
    frame->stride[1] = chromaStride;
    const std::size_t lumaBytes = static_cast<std::size_t>(lumaStride) * static_cast<std::size_t>(height);
    const std::size_t chromaBytes =
        static_cast<std::size_t>(chromaStride) * static_cast<std::size_t>(chromaRows(height));
    frame->y.assign(m_yuvBuffer[0], m_yuvBuffer[0] + lumaBytes);
    frame->u.assign(m_yuvBuffer[1], m_yuvBuffer[1] + chromaBytes);
    frame->v.assign(m_yuvBuffer[2], m_yuvBuffer[2] + chromaBytes);
    return frame;
}

} // namespace streaming
