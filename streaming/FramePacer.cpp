#include "streaming/FramePacer.h"

#include <limits>

namespace streaming {

namespace {
constexpr std::uint64_t kMillisecondsPerSecond = 1000;
} // namespace

std::int64_t elapsedMilliseconds(std::uint64_t start, std::uint64_t recent, std::int32_t timescale) {
    if (timescale <= 0 || recent <= start) {
        return 0;
    }
    const std::uint64_t ticks = recent - start;
    const std::uint64_t scale = static_cast<std::uint64_t>(timescale);
    // Whole seconds and the remainder separately, so ticks * 1000 cannot overflow.
    const std::uint64_t seconds = ticks / scale;
    const std::uint64_t rest = ticks % scale;
    constexpr std::uint64_t kMaxMs = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (seconds > kMaxMs / kMillisecondsPerSecond - 1) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(seconds * kMillisecondsPerSecond +
                                     rest * kMillisecondsPerSecond / scale);
}

bool FramePacer::pace(std::uint64_t ptsValue, std::int32_t timescale, std::int32_t intervalMs) {
    if (m_started) {
        m_ullRecentTime = ptsValue;
    } else {
        m_started = true;
        m_ullStartTime = ptsValue;
        m_ullRecentTime = ptsValue;
    }
    return frameDrop(elapsedMilliseconds(m_ullStartTime, m_ullRecentTime, timescale), intervalMs);
}

bool FramePacer::frameDrop(std::int64_t elapsedMs, std::int32_t nDelayTime) {
    if (elapsedMs < static_cast<std::int64_t>(nDelayTime)) {
        return true;
    }
    m_ullStartTime = m_ullRecentTime;
    return false;
}

} // namespace streaming
