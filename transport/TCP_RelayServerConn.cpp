#include "transport/TCP_RelayServerConn.h"

#include "platform/Log.h"

namespace transport {

std::shared_ptr<TCP_RelayServerConn> TCP_RelayServerConn::create(platform::NotificationCenter& center) {
    return std::make_shared<TCP_RelayServerConn>(center);
}

TCP_RelayServerConn::TCP_RelayServerConn(platform::NotificationCenter& center)
    : TCPConnection(TCP_RelayServerConnCodeTable(), center) {
    m_pTCPServer = std::make_unique<TCPServerInterface>();
}

TCP_RelayServerConn::~TCP_RelayServerConn() = default;

bool TCP_RelayServerConn::Open() {
    platform::logf("open socket..");
    if (!m_pTCPServer->m_socket.Create())
        platform::logf("can't open socket");
    return true;
}

void TCP_RelayServerConn::setTeacherId(const std::string& teacherId) {
    std::lock_guard lock(m_teacherMutex);
    m_teacherId = teacherId;
}

} // namespace transport
