#include "streaming/H264Encoder.h"

#include "platform/Log.h"
#include "streaming/OpenH264Log.h"
#include "streaming/Yuv420.h"

#include <algorithm>
#include <cstring>
#include <wels/codec_api.h>

namespace streaming {

namespace {
constexpr int kAllLayers = -1;

// The console starts a new stream with every "[MV00004]" or "[MV00264]true", each setting the
// encoder up again and forcing a key frame: the lines of either are held to a few a second.
constexpr int kSetUpLinesPerSecond = 3;

struct SetUpLogs {
    platform::LogRateLimit asked{kSetUpLinesPerSecond};
    platform::LogRateLimit created{kSetUpLinesPerSecond};
    platform::LogRateLimit initialized{kSetUpLinesPerSecond};
    platform::LogRateLimit keyFrame{kSetUpLinesPerSecond};
};

SetUpLogs& setUpLogs() {
    static SetUpLogs logs;
    return logs;
}
} // namespace

H264Encoder::H264Encoder() {
    platform::logf("[ZQ]Init H264 Encoder memory alloc");
}

H264Encoder::~H264Encoder() {
    releaseEncoder();
}

int H264Encoder::initEncoder(int width, int height, int bitrate, float fps) {
    setUpLogs().asked.logf("nativeInitEncoder Encoder set: %d %d %d %f", width, height, bitrate,
                           static_cast<double>(fps));
    // A second initialisation must not leak the first encoder.
    releaseEncoder();
    const int created = WelsCreateSVCEncoder(&m_pEncoder);
    if (created != 0 || m_pEncoder == nullptr) {
        platform::logf("nativeInitEncoder Failed to create encoder: %d", created);
        m_pEncoder = nullptr;
        return created != 0 ? created : -1;
    }
    setUpLogs().created.logf("nativeInitEncoder encoder created");
    routeLibraryLog(m_pEncoder);

    SEncParamBase param;
    std::memset(&param, 0, sizeof(param));
    param.iUsageType = CAMERA_VIDEO_REAL_TIME;
    param.iPicWidth = width;
    param.iPicHeight = height;
    param.iTargetBitrate = bitrate;
    param.iRCMode = RC_BITRATE_MODE;
    param.fMaxFrameRate = fps;
    const int initialized = m_pEncoder->Initialize(&param);
    if (initialized != 0) {
        platform::logf("nativeInitEncoder Failed to initialize encoder: %d", initialized);
        return initialized;
    }
    m_nWidth = width;
    m_nHeight = height;
    m_nBitrate = bitrate;
    m_nRcMode = kRateControlBitrate;
    m_fFps = fps;
    m_bInitialized = true;
    setUpLogs().initialized.logf(
        "nativeInitEncoder Initialized with width: %d, height: %d, bitrate: %d, fps: %f", m_nWidth, m_nHeight,
        m_nBitrate, static_cast<double>(m_fFps));
    return 0;
}

std::optional<std::vector<std::uint8_t>> H264Encoder::nativeEncode(std::span<const std::uint8_t> i420,
                                                                   int width, int height) {
    if (m_pEncoder == nullptr) {
        platform::logf("Native Encode NIL!!");
        return std::nullopt;
    }
    // The library reads the planes by the sizes it was initialised with, so anything else would be
    // read out of bounds.
    if (!m_bInitialized || width != m_nWidth || height != m_nHeight ||
        i420.size() != i420Size(width, height)) {
        platform::logf("[ZQ]H264 encode refused %zu bytes for %dx%d (encoder %dx%d)", i420.size(), width,
                       height, m_nWidth, m_nHeight);
        return std::nullopt;
    }
    const std::size_t luma = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // The library takes non-const plane pointers but only reads the source picture.
    auto* base = const_cast<unsigned char*>(i420.data());
    SSourcePicture picture;
    std::memset(&picture, 0, sizeof(picture));
    picture.iColorFormat = videoFormatI420;
    picture.iStride[0] = width;
    picture.iStride[1] = width / 2;
    picture.iStride[2] = width / 2;
    picture.pData[0] = base;
    picture.pData[1] = base + luma;
    picture.pData[2] = base + luma + luma / 4;
    picture.iPicWidth = width;
    picture.iPicHeight = height;

    if (m_bNeedIDRPacket) {
        m_pEncoder->ForceIntraFrame(true, kAllLayers);
        setUpLogs().keyFrame.logf("[ZQ]Force IDR Packet true");
        m_bNeedIDRPacket = false;
    }

    SFrameBSInfo info;
    std::memset(&info, 0, sizeof(info));
    const int result = m_pEncoder->EncodeFrame(&picture, &info);
    if (result != 0 || info.eFrameType == videoFrameTypeSkip) {
        return std::nullopt;
    }
    const int layers = std::min(std::max(info.iLayerNum, 0), MAX_LAYER_NUM_OF_FRAME);
    std::size_t total = 0;
    std::vector<std::size_t> layerSizes(static_cast<std::size_t>(layers), 0);
    for (int layer = 0; layer < layers; ++layer) {
        const SLayerBSInfo& layerInfo = info.sLayerInfo[layer];
        for (int nal = 0; nal < layerInfo.iNalCount; ++nal) {
            const int length = layerInfo.pNalLengthInByte[nal];
            layerSizes[static_cast<std::size_t>(layer)] += static_cast<std::size_t>(std::max(length, 0));
        }
        total += layerSizes[static_cast<std::size_t>(layer)];
    }
    std::vector<std::uint8_t> out;
    out.reserve(total);
    for (int layer = 0; layer < layers; ++layer) {
        const unsigned char* bytes = info.sLayerInfo[layer].pBsBuf;
        const std::size_t size = layerSizes[static_cast<std::size_t>(layer)];
        if (bytes != nullptr) {
            out.insert(out.end(), bytes, bytes + size);
        }
    }
    return out;
}

void H264Encoder::releaseEncoder() {
    if (m_pEncoder == nullptr) {
        return;
    }
    m_pEncoder->Uninitialize();
    WelsDestroySVCEncoder(m_pEncoder);
    m_pEncoder = nullptr;
    m_bInitialized = false;
}

} // namespace streaming
