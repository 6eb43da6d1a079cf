// A listener on 127.0.0.1 whose accept queue is full and never drained, so a connect to it hangs
// until the connecting side gives up: the stand-in for a console that does not answer, for
// connect time-out tests. Made and destroyed on the test thread; it runs no thread.
#pragma once

#include "support/PeerSocket.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class FullBacklogListener {
public:
    FullBacklogListener() = default;
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    // Listens with the smallest backlog and connects filler sockets until one stays pending.
    bool start();

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return m_port; }

private:
    UniqueFd m_listener;
    std::vector<UniqueFd> m_fillers;
    std::uint16_t m_port = 0;
};

} // namespace testsupport
