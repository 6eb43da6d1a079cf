// The pieces of a file being sent, between the worker that reads them and the main-thread sender
// that puts one on the link per tick. Bounded: the worker waits while it is full, so a file of any
// size holds only a few pieces in memory. Thread-safe.
#pragma once

#include "platform/KeyedArchive.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace transfer {

class FileSendQueue {
public:
    explicit FileSendQueue(std::size_t capacity) : m_capacity(capacity) {}

    // Appends an archived piece, waiting while the queue is full; false once cancelled.
    bool push(platform::Bytes archive);
    // The oldest piece, if any (never waits).
    std::optional<platform::Bytes> tryPop();
    // The reader has queued its last piece.
    void finish();
    // Drops every piece and releases a waiting push; later pushes are refused.
    void cancel();

    bool finished() const;
    bool cancelled() const;
    std::size_t size() const;

private:
    const std::size_t m_capacity;
    mutable std::mutex m_lock;
    std::condition_variable m_space;
    std::deque<platform::Bytes> m_pieces;
    bool m_finished = false;
    bool m_cancelled = false;
};

} // namespace transfer
