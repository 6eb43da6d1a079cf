// Listener with a full accept queue. Linux drops a SYN while the listener's accept queue is full,
// so the connecting side keeps retransmitting and its connect neither succeeds nor is refused.
#include "support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace testsupport {

namespace {

constexpr int kSmallestBacklog = 0;
// A loopback connect that the queue still takes completes at once; one that has not completed
// within this time was dropped, which shows the queue is full.
constexpr int kPendingProbeMs = 100;
constexpr std::size_t kMaxFillers = 16;

} // namespace

bool FullBacklogListener::start() {
    m_listener = listenLoopback(m_port, kSmallestBacklog);
    if (!m_listener.valid()) {
        peerLog("full-backlog", "cannot listen on 127.0.0.1");
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_port);
    for (std::size_t i = 0; i < kMaxFillers; ++i) {
        UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!filler.valid()) {
            return false;
        }
        const int rc = ::connect(filler.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        if (rc != 0 && errno != EINPROGRESS) {
            peerLog("full-backlog", "filler connect failed: errno %d", errno);
            return false;
        }
        const bool completed =
            rc == 0 || waitWritable(filler.get(), -1, kPendingProbeMs) == WaitResult::Ready;
        m_fillers.push_back(std::move(filler));
        if (!completed) {
            return true;
        }
    }
    peerLog("full-backlog", "accept queue never filled");
    return false;
}

} // namespace testsupport
