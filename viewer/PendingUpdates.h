// A bounded first-in first-out list of received archives (screen updates or H.264 frames) between
// the receive thread that appends them and the viewer's tick that takes them. When the viewer falls
// behind by more than the bound, entries are dropped, in one of two ways:
// - strip updates: the oldest go first. A tile that no later update repaints keeps its old pixels
//   until the teacher's screen changes there again; the list accepts that to stay bounded.
// - H.264 frames (a resume point is given): each predicted frame decodes against the one before,
//   so the whole waiting run goes, and frames are discarded until one the decoder can start from
//   (a key frame). One log line per gap. Thread-safe: one lock per list.
#pragma once

#include "platform/KeyedArchive.h"
#include "platform/Log.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace streaming {

class PendingUpdates {
public:
    // True for an entry that needs nothing appended before it.
    using ResumePoint = std::function<bool(const platform::Bytes&)>;
    // A flood of drops writes at most this many lines a second.
    static constexpr int kDropLogLinesPerSecond = 1;

    PendingUpdates(std::string name, std::size_t maxEntries, std::size_t maxBytes,
                   ResumePoint resumePoint = {})
        : m_name(std::move(name)), m_maxEntries(maxEntries), m_maxBytes(maxBytes),
          m_resumePoint(std::move(resumePoint)) {}

    // Appends, dropping entries while the list is over its bounds. Any thread.
    void append(platform::Bytes archive);
    // The oldest entry, removed; empty when none waits.
    std::optional<platform::Bytes> take();
    bool empty() const;
    std::size_t size() const;
    // Entries dropped or discarded so far.
    std::size_t dropped() const;
    void clear();

private:
    std::string m_name;
    std::size_t m_maxEntries;
    std::size_t m_maxBytes;
    const ResumePoint m_resumePoint;
    mutable std::mutex m_lock;
    std::deque<platform::Bytes> m_entries;
    std::size_t m_bytes = 0;
    std::size_t m_dropped = 0;
    bool m_bAwaitingResume = false; // a gap is open: entries are discarded until a resume point
    platform::LogRateLimit m_dropLog{kDropLogLinesPerSecond};
};

} // namespace streaming
