// Decodes H.264 access units with OpenH264 and queues each finished picture as an H264DecodeData
// on the process-wide decoded queue. Used by one thread at a time (the viewer's decoding thread).
#pragma once

#include "streaming/H264DecodeData.h"

#include <cstdint>
#include <memory>
#include <span>
#include <wels/codec_def.h>

class ISVCDecoder;

namespace streaming {

class H264Decoder {
public:
    static constexpr int kPlaneCount = 3;

    // Creates and initialises the library decoder (AVC bitstream); without one, decoding fails.
    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Decodes one access unit. Answers 0 when a picture came out (and was queued), -1 on a bitstream
    // error, a picture the library described inconsistently, or without a decoder, else the
    // library's decoding state. The sizes are not consulted: the stream carries its own.
    int decodeH264DataBufferList(std::span<const std::uint8_t> unit, int width, int height);
    static void addYUVdata(std::shared_ptr<const H264DecodeData> frame) {
        H264DecodeQueue::addYUVdata(std::move(frame));
    }
    SBufferInfo getBufferInfo() const { return m_bufferInfo; }
    // Plane 0-2 of the last decode (the library's memory, valid until the next call); null otherwise.
    const std::uint8_t* getYuvBuffer(int plane) const;
    void destroyDecoder();
    ISVCDecoder* pDecoder() const { return m_pDecoder; }

private:
    // Copies the library's picture into a record after checking its description.
    std::shared_ptr<H264DecodeData> copyPicture() const;

    SBufferInfo m_bufferInfo{};
    std::uint8_t* m_yuvBuffer[kPlaneCount] = {nullptr, nullptr, nullptr};
    ISVCDecoder* m_pDecoder = nullptr; // owned; released through the library's own destroy call
};

} // namespace streaming
