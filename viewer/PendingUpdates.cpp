#include "viewer/PendingUpdates.h"

#include "platform/Log.h"

namespace streaming {

void PendingUpdates::append(platform::Bytes archive) {
    // Read outside the lock: unarchiving a frame is the costly part.
    const bool resumes = m_resumePoint && m_resumePoint(archive);
    std::size_t droppedNow = 0;
    bool gapOpened = false;
    {
        std::lock_guard guard(m_lock);
        if (m_bAwaitingResume && !resumes) {
            ++m_dropped; // the gap's one line was written when it opened
            return;
        }
        m_bAwaitingResume = false;
        m_bytes += archive.size();
        m_entries.push_back(std::move(archive));
        const auto over = [&] { return m_entries.size() > m_maxEntries || m_bytes > m_maxBytes; };
        if (m_resumePoint && m_entries.size() > 1 && over()) {
            // Every waiting frame is a reference of the next: dropping only the oldest would leave
            // the rest decoding against a picture the decoder never saw.
            droppedNow = resumes ? m_entries.size() - 1 : m_entries.size();
            platform::Bytes newest = std::move(m_entries.back());
            m_entries.clear();
            m_bytes = 0;
            if (resumes) {
                m_bytes = newest.size();
                m_entries.push_back(std::move(newest));
            } else {
                m_bAwaitingResume = true;
                gapOpened = true;
            }
        }
        // The newest entry always stays, even alone over the byte bound.
        while (m_entries.size() > 1 && over()) {
            m_bytes -= m_entries.front().size();
            m_entries.pop_front();
            ++droppedNow;
        }
        m_dropped += droppedNow;
    }
    if (gapOpened)
        m_dropLog.logf("[ZQ]%s list full; %zu dropped, waiting for a key frame", m_name.c_str(), droppedNow);
    else if (droppedNow > 0)
        m_dropLog.logf("[ZQ]%s list full; %zu oldest dropped", m_name.c_str(), droppedNow);
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
