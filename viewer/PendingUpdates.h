// A bounded first-in first-out list of received archives (screen updates or H.264 frames) between
// the receive thread that appends them and the viewer's tick that takes them. An entry shares the
// bytes the event carried rather than copying them. When the viewer falls behind by more than the
// bounds, entries are dropped, in one of two ways:
// - strip updates (tile names are given): only an update whose every tile a later waiting update
//   names again is dropped, so every tile still ends showing the last picture sent for it (the
//   console, which had each update acknowledged, resends only tiles that change). A list without
//   such an update holds at most one update per tile. Only when the byte bound must still evict one
//   does the oldest go, and the tiles it leaves stale are logged.
// - H.264 frames (a resume point is given): each predicted frame decodes against the one before,
//   so the whole waiting run goes, and frames are discarded until one the decoder can start from
//   (a key frame). One log line per gap.
// Without either, the oldest entries go. Thread-safe: one lock per list.
#pragma once

#include "platform/KeyedArchive.h"
#include "platform/Log.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace viewer {

// An archive's bytes and what keeps them alive (the event's shared dictionary, or a buffer of its
// own). Copies share the bytes.
class SharedArchive {
public:
    SharedArchive() = default;
    explicit SharedArchive(platform::Bytes bytes);
    SharedArchive(std::shared_ptr<const void> owner, std::span<const std::uint8_t> bytes)
        : m_owner(std::move(owner)), m_bytes(bytes) {}

    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    operator std::span<const std::uint8_t>() const { return m_bytes; }
    const std::shared_ptr<const void>& owner() const { return m_owner; }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    std::uint8_t front() const { return m_bytes.front(); }

private:
    std::shared_ptr<const void> m_owner;
    std::span<const std::uint8_t> m_bytes;
};

class PendingUpdates {
public:
    // True for an entry that needs nothing appended before it.
    using ResumePoint = std::function<bool(std::span<const std::uint8_t>)>;
    // The tiles an entry repaints (none for one that does not read).
    using TileNames = std::function<std::vector<std::int32_t>(std::span<const std::uint8_t>)>;
    // A flood of drops writes at most this many lines a second.
    static constexpr int kDropLogLinesPerSecond = 1;
    // Tile numbers written into one eviction line; the count says how many more there were.
    static constexpr std::size_t kLostTilesLogged = 32;

    PendingUpdates(std::string name, std::size_t maxEntries, std::size_t maxBytes,
                   ResumePoint resumePoint = {}, TileNames tileNames = {})
        : m_name(std::move(name)), m_maxEntries(maxEntries), m_maxBytes(maxBytes),
          m_resumePoint(std::move(resumePoint)), m_tileNames(std::move(tileNames)) {}

    // Appends, dropping entries while the list is over its bounds. Any thread.
    void append(SharedArchive archive);
    void append(platform::Bytes archive) { append(SharedArchive(std::move(archive))); }
    // The oldest entry, removed; empty when none waits.
    std::optional<SharedArchive> take();
    bool empty() const;
    std::size_t size() const;
    // Entries dropped or discarded so far.
    std::size_t dropped() const;
    void clear();

private:
    struct Entry {
        SharedArchive archive;
        std::vector<std::int32_t> tiles;
    };
    bool over() const { return m_entries.size() > m_maxEntries || m_bytes > m_maxBytes; }
    // Drops the waiting runs of frames at an overflow; answers whether a gap opened.
    bool dropFrameRun(bool resumes, std::size_t& droppedNow);
    // Drops the updates a later one repaints wholly; answers how many.
    std::size_t dropSuperseded();
    void popFront();

    std::string m_name;
    std::size_t m_maxEntries;
    std::size_t m_maxBytes;
    const ResumePoint m_resumePoint;
    const TileNames m_tileNames;
    mutable std::mutex m_lock;
    std::deque<Entry> m_entries;
    std::size_t m_bytes = 0;
    std::size_t m_dropped = 0;
    bool m_bAwaitingResume = false;      // a gap is open: entries are discarded until a resume point
    std::size_t m_nextScan = 0;          // count at which superseded updates are looked for again
    std::size_t m_appendedSinceScan = 0; // bytes appended since they were last looked for
    platform::LogRateLimit m_dropLog{kDropLogLinesPerSecond};
    platform::LogRateLimit m_lostLog{kDropLogLinesPerSecond};
};

} // namespace viewer
