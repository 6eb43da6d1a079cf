#include "support/ClientTeardown.h"

namespace testsupport {

void endClient(std::shared_ptr<client::StudentClient>& client) {
    if (!client)
        return;
    // The links are taken before the teardown lets go of them, so their threads can be joined.
    auto direct = client->getMVConn();
    auto relay = client->getRelayConn();
    client->teardown();
    if (direct)
        direct->JoinThreads();
    if (relay)
        relay->JoinThreads();
    client.reset();
}

} // namespace testsupport
