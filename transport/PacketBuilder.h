// Packet builders: each writes one body from the request's first byte, sizing the request's buffer
// from what it carries, sets nLength and answers true. Run on the caller's thread and touch only
// the request given. The connection classes expose them as their own (static) members.
#pragma once

#include "transport/PacketData.h"

#include <cstdint>
#include <string>

namespace transport::builder {

constexpr std::size_t kScreenFormatBytes = 13;
constexpr std::size_t kMouseBodyBytes = 21;
constexpr std::size_t kScreenImageHeaderBytes = 53;
constexpr std::size_t kCompressionBodyBytes = 9;
constexpr std::size_t kFileChunkHeaderBytes = 21; // plus 2 per name byte plus data
constexpr std::size_t kH264HeaderBytes = 13;
constexpr std::size_t kCompressedScreenHeaderBytes = 13; // plus the compressed bytes
constexpr std::size_t kStrokeHeaderBytes = 29;           // plus 8 per point
constexpr std::size_t kEnvelopeHeaderBytes = 13;

// Type 1. Answers false (nLength 0) only for a text that is not valid UTF-8.
bool MakeSendPacket(SRequestData& request, const std::string& command);
// Type 2: width, height, colour depth in bits.
bool MakeSendPacket(SRequestData& request, int width, int height, int colorbit);
// Type 7 with a draw sequence (live image).
bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, int imageWidth,
                    int imageHeight, int drawSeq);
// Type 7 with draw sequence 0 (thumbnail).
bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, int smallImageWidth,
                    int smallImageHeight);
// Type 10: CompThreads written twice; SessionId is not on the wire.
bool MakeSendPacket(SRequestData& request, int compThreads, int sessionId);
// Type 5, one entry: event code, x, y, wheel 0.
bool MakeSendPacketMouseEvent(SRequestData& request, int mouseEvent, int x, int y);
// Type 5, one entry at 0,0 with wheel = low 16 bits of yDelta (xDelta is not sent).
bool MakeSendPacketMouseWheelEvent(SRequestData& request, int mouseEvent, int xDelta, int yDelta);
// Type 9: total chunks, sequence, UTF-8 name (k = its byte length, k units on the wire), data.
bool MakeSendPacketFileData(SRequestData& request, int nSplitCnt, int nSeq, const std::string& fileName,
                            int nSplitDataSize, const std::uint8_t* splitData);
// Type 12: raw (inflated) length, compressed length, draw sequence, then the dwCompressed bytes
// of buff. Answers false (nothing built) when buff holds fewer than dwCompressed bytes. The
// unsigned length arguments are what tell this overload from the type-7 one.
bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, std::uint32_t uiAllLen,
                    std::uint32_t dwCompressed, std::uint32_t useDrawSeq);
// Type 17: encoded frame, draw sequence, extra word 0.
bool MakeSendPacketH264(SRequestData& request, const std::uint8_t* buff, int buffSize, int drawSeq);
// Type 14: one share-board stroke.
bool MakeSendPacket(SRequestData& request, const StrokeData& stroke);

// Type 13 around a type-1 body.
bool MakeRelayPacket(SRequestData& request, const std::string& command, RelayConnData relayConn);
// Type 13 around a type-7 body built from the screen record and the image bytes.
bool MakeRelayDibPacket(SRequestData& request, RelayConnData relayConn, const RelayScreenData& screen,
                        const std::uint8_t* buff);
// Type 13 around a type-9 body built from the file record (buff is ignored; the data is pData).
bool MakeRelayFilePacket(SRequestData& request, RelayConnData relayConn, const RelayFileData& file,
                         const std::uint8_t* buff);

} // namespace transport::builder
