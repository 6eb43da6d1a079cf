// A capture source without a screen, for tests and benchmarks: the caller delivers ticks itself,
// on its own thread, and a painter fills the pixels of the frames whose pixels are asked for.
#pragma once

#include "streaming/CaptureSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace streaming {

class SyntheticCaptureSource : public CaptureSource {
public:
    // Paints frame n (its presentation value) into image.
    using Painter = std::function<void(std::uint64_t ptsValue, PlainImage& image)>;

    SyntheticCaptureSource(ImageSize size, Painter painter);

    bool start(FrameHandler handler, ErrorHandler onError = {}) override;
    void stop() override;

    // Delivers count ticks to the handler, numbered on from the last one; nothing while stopped.
    void deliverTicks(int count);
    // Makes the next start fail with this reason (reported once, no frames).
    void failNextStart(std::string reason);
    void setSize(ImageSize size);

    std::uint64_t ticksDelivered() const { return m_nextTick.load(); }
    std::uint64_t pixelFetches() const { return m_fetches.load(); }

private:
    class Frame;

    std::mutex m_lock; // guards everything below but the counters
    ImageSize m_size;
    Painter m_painter;
    FrameHandler m_handler;
    std::string m_failReason;
    bool m_running = false;
    PlainImage m_image;
    std::atomic<std::uint64_t> m_nextTick{0};
    std::atomic<std::uint64_t> m_fetches{0};
};

} // namespace streaming
