#include "viewer/PendingUpdates.h"

#include "platform/Log.h"

#include <algorithm>
#include <unordered_set>

namespace viewer {

SharedArchive::SharedArchive(platform::Bytes bytes) {
    auto owned = std::make_shared<const platform::Bytes>(std::move(bytes));
    m_bytes = *owned;
    m_owner = std::move(owned);
}

void PendingUpdates::popFront() {
    m_bytes -= m_entries.front().archive.size();
    m_entries.pop_front();
}

bool PendingUpdates::dropFrameRun(bool resumes, std::size_t& droppedNow) {
    // Every waiting frame is a reference of the next: dropping only the oldest would leave the
    // rest decoding against a picture the decoder never saw.
    droppedNow += resumes ? m_entries.size() - 1 : m_entries.size();
    Entry newest = std::move(m_entries.back());
    m_entries.clear();
    m_bytes = 0;
    if (!resumes) {
        m_bAwaitingResume = true;
        return true;
    }
    m_bytes = newest.archive.size();
    m_entries.push_back(std::move(newest));
    return false;
}

std::size_t PendingUpdates::dropSuperseded() {
    // From the newest back: an update is superseded when every tile it names was named by one
    // after it.
    std::unordered_set<std::int32_t> later;
    std::vector<bool> superseded(m_entries.size(), false);
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        const Entry& entry = m_entries[i];
        bool covered = true;
        for (std::int32_t tile : entry.tiles)
            covered = covered && later.count(tile) > 0;
        superseded[i] = covered && i + 1 < m_entries.size(); // the newest stays
        later.insert(entry.tiles.begin(), entry.tiles.end());
    }
    std::deque<Entry> kept;
    std::size_t dropped = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (superseded[i]) {
            m_bytes -= m_entries[i].archive.size();
            ++dropped;
        } else {
            kept.push_back(std::move(m_entries[i]));
        }
    }
    m_entries = std::move(kept);
    return dropped;
}

void PendingUpdates::append(SharedArchive archive) {
    // Read outside the lock: unarchiving is the costly part.
    const bool resumes = m_resumePoint && m_resumePoint(archive);
    std::vector<std::int32_t> tiles;
    if (m_tileNames)
        tiles = m_tileNames(archive);
    std::size_t droppedNow = 0;
    bool gapOpened = false;
    std::vector<std::int32_t> lost;
    {
        std::lock_guard guard(m_lock);
        if (m_bAwaitingResume && !resumes) {
            ++m_dropped; // the gap's one line was written when it opened
            return;
        }
        m_bAwaitingResume = false;
        m_bytes += archive.size();
        m_appendedSinceScan += archive.size();
        m_entries.push_back({std::move(archive), std::move(tiles)});
        if (m_resumePoint && m_entries.size() > 1 && over())
            gapOpened = dropFrameRun(resumes, droppedNow);
        // A list holding one update for each of many tiles stays over its bounds: it is scanned
        // again only once its count has doubled or half its bytes are new, so the scans of a flood
        // cost time linear in what arrived.
        const bool scanDue = m_entries.size() >= m_nextScan || 2 * m_appendedSinceScan >= m_bytes;
        if (m_tileNames && over() && scanDue) {
            droppedNow += dropSuperseded();
            m_nextScan = std::max(m_maxEntries, 2 * m_entries.size());
            m_appendedSinceScan = 0;
        }
        // Past the bounds with no update repainted later (for strips: past the byte bound only),
        // the oldest go; their tiles stay stale until the teacher's screen changes there. The
        // newest entry always stays.
        while (m_entries.size() > 1 && (m_tileNames ? m_bytes > m_maxBytes : over())) {
            lost.insert(lost.end(), m_entries.front().tiles.begin(), m_entries.front().tiles.end());
            popFront();
            ++droppedNow;
        }
        m_dropped += droppedNow;
    }
    if (gapOpened) {
        m_dropLog.logf("[ZQ]%s list full; %zu dropped, waiting for a key frame", m_name.c_str(), droppedNow);
    } else if (!lost.empty()) {
        std::string names;
        for (std::size_t i = 0; i < lost.size() && i < kLostTilesLogged; ++i)
            names += (i == 0 ? "" : " ") + std::to_string(lost[i]);
        if (lost.size() > kLostTilesLogged)
            names += " and " + std::to_string(lost.size() - kLostTilesLogged) + " more";
        // A kind of its own, so that drops of superseded updates never hide it; still limited, since
        // a console whose strips outrun the viewer would have one at every strip.
        m_lostLog.logf("[ZQ]%s list over %zu bytes; %zu oldest dropped, tiles lost: %s", m_name.c_str(),
                       m_maxBytes, droppedNow, names.c_str());
    } else if (droppedNow > 0) {
        m_dropLog.logf("[ZQ]%s list full; %zu oldest dropped", m_name.c_str(), droppedNow);
    }
}

std::optional<SharedArchive> PendingUpdates::take() {
    std::lock_guard guard(m_lock);
    if (m_entries.empty())
        return std::nullopt;
    SharedArchive entry = std::move(m_entries.front().archive);
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
    m_nextScan = 0;
    m_appendedSinceScan = 0;
}

} // namespace viewer
