#include "transport/TCPServerClient.h"

#include <csignal>
#include <mutex>

namespace transport {
namespace {

void IgnoreBrokenPipe(int) {}

// Writes use MSG_NOSIGNAL; the process-wide handler stays as a second guard for any other write
// to a socket whose peer has gone.
void InstallBrokenPipeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = IgnoreBrokenPipe;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGPIPE, &action, nullptr);
    });
}

} // namespace

std::shared_ptr<TCPServerClient> TCPServerClient::create(platform::NotificationCenter& center) {
    return std::make_shared<TCPServerClient>(center);
}

TCPServerClient::TCPServerClient(platform::NotificationCenter& center)
    : TCPConnection(TCPServerClientCodeTable(), center) {
    InstallBrokenPipeHandler();
}

TCPServerClient::~TCPServerClient() = default;

bool TCPServerClient::Open() {
    if (!m_pTCPServer)
        m_pTCPServer = std::make_unique<TCPServerInterface>();
    return m_pTCPServer->m_socket.Create();
}

} // namespace transport
