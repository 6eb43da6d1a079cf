// The direct link to the teacher console. Posts "READ_MSG_" + code (type 1) or a fixed binary
// name (types 4, 5, 9, 10, 12, 17). Threads and calling rules: see TCPConnection.
#pragma once

#include "platform/NotificationCenter.h"
#include "transport/PacketBuilder.h"
#include "transport/TCPConnection.h"

#include <memory>

namespace transport {

class TCPServerClient : public TCPConnection {
public:
    static std::shared_ptr<TCPServerClient>
    create(platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // Prefer create(); an object not owned by a shared_ptr cannot start its threads.
    explicit TCPServerClient(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~TCPServerClient() override;

    // Makes the socket record and its socket; answers whether the socket was created.
    bool Open();

    // The direct builders (see PacketBuilder.h).
    static bool MakeSendPacket(SRequestData& request, const std::string& command) {
        return builder::MakeSendPacket(request, command);
    }
    static bool MakeSendPacket(SRequestData& request, int width, int height, int colorbit) {
        return builder::MakeSendPacket(request, width, height, colorbit);
    }
    static bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize, int imageWidth,
                               int imageHeight, int drawSeq) {
        return builder::MakeSendPacket(request, buff, buffSize, imageWidth, imageHeight, drawSeq);
    }
    static bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize,
                               int smallImageWidth, int smallImageHeight) {
        return builder::MakeSendPacket(request, buff, buffSize, smallImageWidth, smallImageHeight);
    }
    static bool MakeSendPacket(SRequestData& request, int compThreads, int sessionId) {
        return builder::MakeSendPacket(request, compThreads, sessionId);
    }
    static bool MakeSendPacketMouseEvent(SRequestData& request, int mouseEvent, int x, int y) {
        return builder::MakeSendPacketMouseEvent(request, mouseEvent, x, y);
    }
    static bool MakeSendPacketMouseWheelEvent(SRequestData& request, int mouseEvent, int xDelta, int yDelta) {
        return builder::MakeSendPacketMouseWheelEvent(request, mouseEvent, xDelta, yDelta);
    }
    static bool MakeSendPacketFileData(SRequestData& request, int nSplitCnt, int nSeq,
                                       const std::string& fileName, int nSplitDataSize,
                                       const std::uint8_t* splitData) {
        return builder::MakeSendPacketFileData(request, nSplitCnt, nSeq, fileName, nSplitDataSize, splitData);
    }
    static bool MakeSendPacket(SRequestData& request, const std::uint8_t* buff, int buffSize,
                               std::uint32_t uiAllLen, std::uint32_t dwCompressed, std::uint32_t useDrawSeq) {
        return builder::MakeSendPacket(request, buff, buffSize, uiAllLen, dwCompressed, useDrawSeq);
    }
    static bool MakeSendPacketH264(SRequestData& request, const std::uint8_t* buff, int buffSize,
                                   int drawSeq) {
        return builder::MakeSendPacketH264(request, buff, buffSize, drawSeq);
    }
    static bool MakeSendPacket(SRequestData& request, const StrokeData& stroke) {
        return builder::MakeSendPacket(request, stroke);
    }
};

} // namespace transport
