#include "transport/TCPServerInterface.h"

namespace transport {

bool TCPServerInterface::Connect(const std::string& host, int port) {
    const CInAddr addr(host, static_cast<std::uint16_t>(port));
    if (!m_socket.Connect(addr))
        return false;
    CInAddr local;
    if (m_socket.GetSockName(local)) {
        m_strLocalIP = local.GetAddress();
        m_nLocalPort = local.GetPort();
    }
    return true;
}

} // namespace transport
