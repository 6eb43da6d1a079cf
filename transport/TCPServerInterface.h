// The socket record of one connection object: its stream socket and the local address learned at
// connect. Connected on the opening thread; then used by the link's two threads.
#pragma once

#include "transport/CInSocket.h"

#include <string>

namespace transport {

class TCPServerInterface {
public:
    TCPServerInterface() = default;

    // Connects to a dotted IPv4 host; on success fills m_strLocalIP and m_nLocalPort.
    bool Connect(const std::string& host, int port);

    CInStreamSocket m_socket;
    std::string m_strLocalIP; // written before the link's threads start, read-only after
    int m_nLocalPort = 0;
};

} // namespace transport
