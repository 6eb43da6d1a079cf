// Keeps a slow link from piling up screen images: at most two images may wait unsent in a link's
// send queue; a newer one is skipped until one of them has gone out. Text commands are never
// held back. Used by one frame thread at a time (the capture queue); not locked.
//
// The link's queue is first-in first-out and reports only its total length, so an image counts as
// sent once at least that many packets were queued behind it. Only packets queued through this gate
// are known to be behind it; packets others queue (replies, heartbeats) make the estimate err
// towards "still waiting", never the other way.
#pragma once

#include "transport/TCPConnection.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

namespace streaming {

// Screen images a link may hold unsent; a newer one is skipped while this many wait.
constexpr std::size_t kMaxUnsentScreenImages = 2;

class UnsentImageGate {
public:
    // Whether a new screen image may be queued on link now (forgets images known to be sent).
    bool mayQueueImage(const std::shared_ptr<transport::TCPConnection>& link);
    // Queues a packet through the gate; answers Send's result. Images are remembered until sent.
    bool send(const std::shared_ptr<transport::TCPConnection>& link,
              std::unique_ptr<transport::SRequestData> request, bool isImage);

    // Images currently counted as unsent (tests and diagnostics).
    std::size_t waitingImages() const { return m_waiting.size(); }

private:
    void follow(const std::shared_ptr<transport::TCPConnection>& link);

    std::weak_ptr<transport::TCPConnection> m_link;
    const transport::TCPConnection* m_linkIdentity = nullptr;
    std::uint64_t m_queued = 0;          // packets queued on m_link through the gate
    std::deque<std::uint64_t> m_waiting; // m_queued right after each waiting image was queued
};

} // namespace streaming
