#include "streaming/viewer/PendingUpdates.h"

#include "platform/Log.h"

namespace streaming {

void PendingUpdates::append(platform::Bytes archive) {
    std::size_t droppedNow = 0;
    {
        std::lock_guard guard(m_lock);
        m_bytes += archive.size();
        m_entries.push_back(std::move(archive));
        // The newest entry always stays, even alone over the byte bound.
        while (m_entries.size() > 1 && (m_entries.size() > m_maxEntries || m_bytes > m_maxBytes)) {
            m_bytes -= m_entries.front().size();
            m_entries.pop_front();
            ++droppedNow;
        }
        m_dropped += droppedNow;
    }
    if (droppedNow > 0)
        platform::logf("[ZQ]%s list full; %zu oldest dropped", m_name.c_str(), droppedNow);
}

std::optional<platform::Bytes> PendingUpdates::take() {
    std::lock_guard guard(m_lock);
    if (m_entries.empty())
        return std::nullopt;
    platform::Bytes entry = std::move(m_entries.front());
    m_entries.pop_front();
    m_bytes -= entry.size();
    return entry;
}

bool PendingUpdates::empty() const {
    std::lock_guard guard(m_lock);
    return m_entries.empty();
}

std::size_t PendingUpdates::size() const {
    std::lock_guard guard(m_lock);
    return m_entries.size();
}

std::size_t PendingUpdates::dropped() const {
    std::lock_guard guard(m_lock);
    return m_dropped;
}

void PendingUpdates::clear() {
    std::lock_guard guard(m_lock);
    m_entries.clear();
    m_bytes = 0;
}

} // namespace streaming
