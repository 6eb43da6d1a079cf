// Encodes contiguous I420 frames to H.264 with OpenH264: one call gives all NAL units of one frame.
// Used by one thread at a time (the capture queue of the H.264 live view); not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class ISVCEncoder;

namespace streaming {

class H264Encoder {
public:
    static constexpr int kRateControlBitrate = 1;

    H264Encoder();
    virtual ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // Creates and initialises the library encoder (an earlier one is released first). Answers 0 or
    // the library's code; after a failed Initialize the created encoder stays until releaseEncoder.
    // Virtual so that tests can stand in an encoder the library refuses.
    virtual int initEncoder(int width, int height, int bitrate, float fps);
    // Encodes one I420 frame: Y plane, then U and V planes of (width x height) / 4 bytes each.
    // Answers nothing without an encoder, for a frame of another size than the initialised one or
    // a buffer of the wrong length, on an encoder error and for a frame the rate control skipped.
    std::optional<std::vector<std::uint8_t>> nativeEncode(std::span<const std::uint8_t> i420, int width,
                                                          int height);
    void releaseEncoder();
    void setNeedIDRPacket(bool need) { m_bNeedIDRPacket = need; }
    bool needIDRPacket() const { return m_bNeedIDRPacket; }
    bool hasEncoder() const { return m_pEncoder != nullptr; }
    int getEncoderWidth() const { return m_nWidth; }
    int getEncoderHeight() const { return m_nHeight; }

private:
    ISVCEncoder* m_pEncoder = nullptr; // owned; released through the library's own destroy call
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitrate = 0;
    int m_nRcMode = 0;
    float m_fFps = 0.0f;
    bool m_bNeedIDRPacket = false;
    bool m_bInitialized = false;
};

} // namespace streaming
