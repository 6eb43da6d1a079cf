#include "streaming/UnsentImageGate.h"

namespace streaming {

void UnsentImageGate::follow(const std::shared_ptr<transport::TCPConnection>& link) {
    // A new link (a new login, a reconnect) starts with an empty queue of its own.
    if (link.get() != m_linkIdentity || m_link.expired()) {
        m_link = link;
        m_linkIdentity = link.get();
        m_queued = 0;
        m_waiting.clear();
    }
}

bool UnsentImageGate::mayQueueImage(const std::shared_ptr<transport::TCPConnection>& link) {
    if (!link) {
        return false;
    }
    follow(link);
    if (m_waiting.empty()) {
        return true;
    }
    const std::uint64_t pending = link->PendingRequests();
    // The queue holds the `pending` newest packets; an image with at least that many packets queued
    // after it has left the queue.
    while (!m_waiting.empty() && m_queued - m_waiting.front() >= pending) {
        m_waiting.pop_front();
    }
    return m_waiting.size() < kMaxUnsentScreenImages;
}

bool UnsentImageGate::send(const std::shared_ptr<transport::TCPConnection>& link,
                           std::unique_ptr<transport::SRequestData> request, bool isImage) {
    if (!link || !request) {
        return false;
    }
    follow(link);
    if (!link->Send(std::move(request))) {
        return false;
    }
    ++m_queued;
    if (isImage) {
        m_waiting.push_back(m_queued);
    }
    return true;
}

} // namespace streaming
