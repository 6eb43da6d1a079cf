// The logged-in client's link through the relay server. Posts "READ_MSG_" + code + "_RELAY"
// (type 1, also inside an envelope) or a fixed "_RELAY" binary name (types 9, 10, 12).
// Threads and calling rules: see TCPConnection.
#pragma once

#include "platform/NotificationCenter.h"
#include "transport/PacketBuilder.h"
#include "transport/TCPConnection.h"

#include <memory>
#include <string>

namespace transport {

class TCP_RelayServerConn : public TCPConnection {
public:
    static std::shared_ptr<TCP_RelayServerConn>
    create(platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // Prefer create(); an object not owned by a shared_ptr cannot start its threads.
    explicit TCP_RelayServerConn(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~TCP_RelayServerConn() override;

    // Creates the socket; logs "open socket.." and, on failure, "can't open socket"; answers true.
    bool Open();
    void setTeacherId(const std::string& teacherId);

    // The relay builders (see PacketBuilder.h).
    static bool MakeSendPacket(SRequestData& request, const std::string& command) {
        return builder::MakeSendPacket(request, command);
    }
    static bool MakeRelayPacket(SRequestData& request, const std::string& command, RelayConnData relayConn) {
        return builder::MakeRelayPacket(request, command, relayConn);
    }
    static bool MakeRelayDibPacket(SRequestData& request, RelayConnData relayConn,
                                   const RelayScreenData& screen, const std::uint8_t* buff) {
        return builder::MakeRelayDibPacket(request, relayConn, screen, buff);
    }
    static bool MakeRelayFilePacket(SRequestData& request, RelayConnData relayConn, const RelayFileData& file,
                                    const std::uint8_t* buff) {
        return builder::MakeRelayFilePacket(request, relayConn, file, buff);
    }

private:
    std::mutex m_teacherMutex;
    std::string m_teacherId; // stored, never read on the wire
};

} // namespace transport
