// The frame source of the capture pipeline: frames of the primary screen at 30 per second, each
// stamped with its scheduled time, whose pixels are fetched only when the consumer asks (a frame
// the pacing drops costs no capture). Frames arrive on the source's own thread, one at a time.
#pragma once

#include "streaming/PlainImage.h"

#include <cstdint>
#include <functional>
#include <string>

namespace streaming {

// Frames per second of every source; also the timescale of the presentation times.
constexpr std::int32_t kCaptureTimescale = 30;
// The prefix of the one line a source prints when it cannot capture.
inline constexpr const char* kStartCaptureFailed = "Start capture failed: ";

// One tick of a source. Valid only during the frame callback; pixels() may be called then, any
// number of times (the first call captures, later calls answer the same pixels).
class CaptureFrame {
public:
    virtual ~CaptureFrame() = default;

    // Presentation time: value n of tick n, timescale 30.
    std::uint64_t ptsValue() const { return m_ptsValue; }
    std::int32_t ptsTimescale() const { return kCaptureTimescale; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The frame's pixels (B, G, R, X, rows view.stride bytes apart); an invalid view when the capture
    // failed.
    ImageView pixels();

protected:
    CaptureFrame(std::uint64_t ptsValue, int width, int height)
        : m_ptsValue(ptsValue), m_width(width), m_height(height) {}
    virtual ImageView fetchPixels() = 0;

private:
    std::uint64_t m_ptsValue;
    int m_width;
    int m_height;
    bool m_fetched = false;
    ImageView m_view;
};

class CaptureSource {
public:
    using FrameHandler = std::function<void(CaptureFrame& frame)>;
    // Told once when capture cannot start or stops by itself, with the line that was printed.
    using ErrorHandler = std::function<void(const std::string& message)>;

    virtual ~CaptureSource() = default;
    // Starts delivering frames to handler (set-up runs off the caller's thread where it may block).
    // Answers false when the source is already running.
    virtual bool start(FrameHandler handler, ErrorHandler onError = {}) = 0;
    // Stops delivery; no frame callback runs after it returns. Not to be called from the handler.
    virtual void stop() = 0;
};

// Prints "Start capture failed: <reason>" on standard output, as the capture failure is reported.
std::string reportStartCaptureFailed(const std::string& reason);

} // namespace streaming
