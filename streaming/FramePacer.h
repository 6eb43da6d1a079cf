// Frame pacing of the capture objects: accepts at most one frame per interval, measured on the
// frames' own presentation times. Used by one frame thread at a time (the capture queue); not locked.
#pragma once

#include <cstdint>

namespace streaming {

// The live view's interval, whatever the teacher's refresh delay.
constexpr std::int32_t kLiveViewIntervalMs = 100;

// Milliseconds from start to recent on a clock of `timescale` ticks per second, truncated. A clock
// that goes backwards gives 0 and a huge gap saturates, so the result never wraps to a negative or
// small value (an unsigned difference of a backwards clock would otherwise read as years).
std::int64_t elapsedMilliseconds(std::uint64_t start, std::uint64_t recent, std::int32_t timescale);

class FramePacer {
public:
    // Records one frame's presentation value and answers whether it is dropped for `intervalMs`.
    // The first frame opens the first interval (elapsed 0); an accepted frame opens the next one.
    bool pace(std::uint64_t ptsValue, std::int32_t timescale, std::int32_t intervalMs);

    // Drop test alone: true (drop, nothing changes) while elapsed < interval; otherwise the latest
    // frame opens the next interval.
    bool frameDrop(std::int64_t elapsedMs, std::int32_t nDelayTime);

    std::uint64_t startTime() const { return m_ullStartTime; }
    std::uint64_t recentTime() const { return m_ullRecentTime; }

private:
    bool m_started = false; // a presentation value of 0 is a real frame, so 0 cannot mean "none yet"
    std::uint64_t m_ullStartTime = 0;
    std::uint64_t m_ullRecentTime = 0;
};

} // namespace streaming
