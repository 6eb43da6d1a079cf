#include "transport/PacketBuilder.h"

#include "platform/Log.h"
#include "transport/CUtil.h"
#include "transport/PacketCodec.h"
#include "transport/WireBytes.h"

#include <algorithm>
#include <cstring>

namespace transport::builder {
namespace {

using wire::PutU16;
using wire::PutU32;

constexpr std::uint32_t kFileChunkMarker = 3; // constant word the receiver skips
constexpr std::uint32_t kOneEntry = 1;

// Checks a caller's (pointer, size) pair: a negative size or a missing buffer with a positive
// size cannot be written.
bool PayloadUsable(const std::uint8_t* data, int size, const char* what) {
    if (size < 0 || (size > 0 && data == nullptr)) {
        platform::logf("[ZQ]%s: no payload of %d bytes to write, nothing built", what, size);
        return false;
    }
    return true;
}

// Sizes the request for a body and zero-fills everything but the trailing payloadBytes, which the
// builder copies in (large payloads are not written twice).
std::uint8_t* Start(SRequestData& request, std::size_t bodyLength, BodyType type,
                    std::size_t payloadBytes = 0) {
    if (request.pBuffer.size() < bodyLength)
        request.pBuffer.resize(bodyLength);
    std::fill(request.pBuffer.begin(),
              request.pBuffer.begin() + static_cast<std::ptrdiff_t>(bodyLength - payloadBytes), 0);
    request.nLength = bodyLength;
    request.pBuffer[0] = type;
    return request.pBuffer.data();
}

bool Fail(SRequestData& request) {
    request.nLength = 0;
    return false;
}

bool WriteImage(SRequestData& request, const std::uint8_t* buff, int buffSize, int width, int height,
                int drawSeq) {
    if (!PayloadUsable(buff, buffSize, "screen image"))
        return Fail(request);
    const auto size = static_cast<std::size_t>(buffSize);
    std::uint8_t* out = Start(request, kScreenImageHeaderBytes + size, kBodyScreenImage, size);
    PutU32(out + 21, static_cast<std::uint32_t>(drawSeq));
    PutU32(out + 37, static_cast<std::uint32_t>(width));
    PutU32(out + 41, static_cast<std::uint32_t>(height));
    PutU32(out + 45, static_cast<std::uint32_t>(size));
    PutU32(out + 49, static_cast<std::uint32_t>(size));
    if (size > 0)
        std::memcpy(out + kScreenImageHeaderBytes, buff, size);
    return true;
}

bool WriteFile(SRequestData& request, int nSplitCnt, int nSeq, const char* fileName, int dataSize,
               const std::uint8_t* data) {
    if (!PayloadUsable(data, dataSize, "file chunk"))
        return Fail(request);
    const std::string name = fileName ? fileName : "";
    std::vector<std::uint16_t> units;
    if (!Utf8ToWireUnits(name, units)) {
        platform::logf("[ZQ]file chunk: file name is not valid UTF-8, nothing built");
        return Fail(request);
    }
    // The name field has as many units as the name has UTF-8 bytes; the rest is zero units.
    const std::size_t k = name.size();
    const auto size = static_cast<std::size_t>(dataSize);
    std::uint8_t* out = Start(request, kFileChunkHeaderBytes + 2 * k + size, kBodyFileChunk, size);
    PutU32(out + 1, kFileChunkMarker);
    PutU32(out + 5, static_cast<std::uint32_t>(nSplitCnt));
    PutU32(out + 9, static_cast<std::uint32_t>(nSeq));
    PutU32(out + 13, static_cast<std::uint32_t>(k));
    for (std::size_t i = 0; i < units.size() && i < k; ++i)
        PutU16(out + 17 + 2 * i, units[i]);
    PutU32(out + 17 + 2 * k, static_cast<std::uint32_t>(size));
    if (size > 0)
        std::memcpy(out + kFileChunkHeaderBytes + 2 * k, data, size);
    return true;
}

// Moves the inner body built in request into a relay envelope.
bool Envelope(SRequestData& request, RelayConnData relayConn) {
    std::vector<std::uint8_t> inner = std::move(request.pBuffer);
    request.pBuffer.clear();
    inner.resize(static_cast<std::size_t>(request.nLength));
    std::uint8_t* out = Start(request, kEnvelopeHeaderBytes + inner.size(), kBodyRelayEnvelope, inner.size());
    PutU32(out + 1, static_cast<std::uint32_t>(relayConn.nConnTeacherId));
    PutU32(out + 5, static_cast<std::uint32_t>(relayConn.nConnId));
    PutU32(out + 9, static_cast<std::uint32_t>(inner.size()));
    std::memcpy(out + kEnvelopeHeaderBytes, inner.data(), inner.size());
    return true;
}

} // namespace

bool MakeSendPacket(SRequestData& request, const std::string& command) {
    return EncodeTextCommand(request, command);
}

bool MakeSendPacket(SRequestData& request, int width, int height, int colorbit) {
    std::uint8_t* out = Start(request, kScreenFormatBytes, kBodyScreenFormat);
    PutU32(out + 1, static_cast<std::uint32_t>(width));
    PutU32(out + 5, static_cast<std::uint32_t>(height));
    PutU32(out + 9, static_cast<std::uint32_t>(colorbit));
    return true;
}

bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, int imageWidth,
                    int imageHeight, int drawSeq) {
    return WriteImage(request, buff, buffSize, imageWidth, imageHeight, drawSeq);
}

bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, int smallImageWidth,
                    int smallImageHeight) {
    return WriteImage(request, buff, buffSize, smallImageWidth, smallImageHeight, 0);
}

bool MakeSendPacket(SRequestData& request, int compThreads, int /*sessionId: not on the wire*/) {
    std::uint8_t* out = Start(request, kCompressionBodyBytes, kBodyCompression);
    PutU32(out + 1, static_cast<std::uint32_t>(compThreads));
    PutU32(out + 5, static_cast<std::uint32_t>(compThreads));
    return true;
}

bool MakeSendPacketMouseEvent(SRequestData& request, int mouseEvent, int x, int y) {
    std::uint8_t* out = Start(request, kMouseBodyBytes, kBodyMouseInput);
    PutU32(out + 1, kOneEntry);
    PutU16(out + 5, static_cast<std::uint16_t>(mouseEvent));
    PutU32(out + 11, static_cast<std::uint32_t>(x));
    PutU32(out + 15, static_cast<std::uint32_t>(y));
    return true;
}

bool MakeSendPacketMouseWheelEvent(SRequestData& request, int mouseEvent, int /*xDelta: not on the wire*/,
                                   int yDelta) {
    std::uint8_t* out = Start(request, kMouseBodyBytes, kBodyMouseInput);
    PutU32(out + 1, kOneEntry);
    PutU16(out + 5, static_cast<std::uint16_t>(mouseEvent));
    PutU16(out + 19, static_cast<std::uint16_t>(yDelta));
    return true;
}

bool MakeSendPacketFileData(SRequestData& request, int nSplitCnt, int nSeq, const std::string& fileName,
                            int nSplitDataSize, const std::uint8_t* splitData) {
    return WriteFile(request, nSplitCnt, nSeq, fileName.c_str(), nSplitDataSize, splitData);
}

bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, std::uint32_t uiAllLen,
                    std::uint32_t dwCompressed, std::uint32_t useDrawSeq) {
    if (!PayloadUsable(buff, buffSize, "compressed screen update"))
        return Fail(request);
    // The compressed-length field is what the receiver reads; the bytes behind it must be there.
    if (static_cast<std::uint64_t>(dwCompressed) > static_cast<std::uint64_t>(buffSize)) {
        platform::logf(
            "[ZQ]compressed screen update: %u compressed bytes asked of a %d-byte buffer, nothing built",
            dwCompressed, buffSize);
        return Fail(request);
    }
    const std::size_t size = dwCompressed;
    std::uint8_t* out = Start(request, kCompressedScreenHeaderBytes + size, kBodyCompressedScreen, size);
    PutU32(out + 1, uiAllLen);
    PutU32(out + 5, dwCompressed);
    PutU32(out + 9, useDrawSeq);
    if (size > 0)
        std::memcpy(out + kCompressedScreenHeaderBytes, buff, size);
    return true;
}

bool MakeSendPacketH264(SRequestData& request, const std::uint8_t* buff, int buffSize, int drawSeq) {
    if (!PayloadUsable(buff, buffSize, "H.264 frame"))
        return Fail(request);
    const auto size = static_cast<std::size_t>(buffSize);
    std::uint8_t* out = Start(request, kH264HeaderBytes + size, kBodyH264, size);
    PutU32(out + 1, static_cast<std::uint32_t>(size));
    PutU32(out + 5, static_cast<std::uint32_t>(drawSeq));
    if (size > 0)
        std::memcpy(out + kH264HeaderBytes, buff, size);
    return true;
}

bool MakeSendPacket(SRequestData& request, const StrokeData& stroke) {
    constexpr std::size_t kPointBytes = 8;
    std::uint8_t* out = Start(request, kStrokeHeaderBytes + kPointBytes * stroke.points.size(), kBodyStroke);
    PutU32(out + 1, static_cast<std::uint32_t>(stroke.nSlot));
    PutU32(out + 5, static_cast<std::uint32_t>(stroke.nTool));
    PutU32(out + 9, static_cast<std::uint32_t>(stroke.nThickness));
    PutU32(out + 13, static_cast<std::uint32_t>(stroke.nThicknessMode));
    out[17] = stroke.bBlend ? 1 : 0;
    PutU32(out + 21, static_cast<std::uint32_t>(stroke.nColor));
    PutU32(out + 25, static_cast<std::uint32_t>(stroke.points.size()));
    std::uint8_t* p = out + kStrokeHeaderBytes;
    for (const auto& point : stroke.points) {
        PutU32(p, static_cast<std::uint32_t>(point.x));
        PutU32(p + 4, static_cast<std::uint32_t>(point.y));
        p += kPointBytes;
    }
    return true;
}

bool MakeRelayPacket(SRequestData& request, const std::string& command, RelayConnData relayConn) {
    return EncodeTextCommand(request, command) && Envelope(request, relayConn);
}

bool MakeRelayDibPacket(SRequestData& request, RelayConnData relayConn, const RelayScreenData& screen,
                        const std::uint8_t* buff) {
    return WriteImage(request, buff, screen.nSize, screen.nWidth, screen.nHeight, screen.nDrawSeq) &&
           Envelope(request, relayConn);
}

bool MakeRelayFilePacket(SRequestData& request, RelayConnData relayConn, const RelayFileData& file,
                         const std::uint8_t* /*buff: the data comes from the file record*/) {
    return WriteFile(request, file.nSplitCnt, file.nSeq, file.pFileName, file.nSize, file.pData) &&
           Envelope(request, relayConn);
}

} // namespace transport::builder
