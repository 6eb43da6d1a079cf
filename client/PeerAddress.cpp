#include "client/PeerAddress.h"

#include "platform/Log.h"

#include <arpa/inet.h>

namespace client {
namespace {

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

} // namespace

bool isConnectableAddress(const std::string& host, int port, const char* what) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1 || address.s_addr == htonl(INADDR_ANY)) {
        platform::logf("[ZQ]Refused %s address \"%s\"", what, host.c_str());
        return false;
    }
    if (port < kMinPort || port > kMaxPort) {
        platform::logf("[ZQ]Refused %s port %d", what, port);
        return false;
    }
    return true;
}

} // namespace client
