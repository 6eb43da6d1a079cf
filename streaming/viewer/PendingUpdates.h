// A bounded first-in first-out list of received archives (screen updates or H.264 frames) between
// the receive thread that appends them and the viewer's tick that takes them. When the viewer falls
// behind by more than the bound, the oldest entries go first (logged): a newer update repaints the
// same tiles. Thread-safe: one lock per list.
#pragma once

#include "platform/KeyedArchive.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace streaming {

class PendingUpdates {
public:
    PendingUpdates(std::string name, std::size_t maxEntries, std::size_t maxBytes)
        : m_name(std::move(name)), m_maxEntries(maxEntries), m_maxBytes(maxBytes) {}

    // Appends, dropping the oldest entries while the list is over its bounds. Any thread.
    void append(platform::Bytes archive);
    // The oldest entry, removed; empty when none waits.
    std::optional<platform::Bytes> take();
    bool empty() const;
    std::size_t size() const;
    std::size_t dropped() const;
    void clear();

private:
    std::string m_name;
    std::size_t m_maxEntries;
    std::size_t m_maxBytes;
    mutable std::mutex m_lock;
    std::deque<platform::Bytes> m_entries;
    std::size_t m_bytes = 0;
    std::size_t m_dropped = 0;
};

} // namespace streaming
