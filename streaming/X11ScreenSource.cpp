#include "streaming/X11ScreenSource.h"

#include "platform/Log.h"

#include <algorithm>
#include <chrono>

namespace streaming {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::nanoseconds::rep kNanosPerSecond = 1'000'000'000;

Clock::time_point tickTime(Clock::time_point origin, std::uint64_t tick) {
    // Computed from the origin each time, so the schedule never drifts by rounding.
    return origin + std::chrono::nanoseconds(static_cast<std::chrono::nanoseconds::rep>(tick) *
                                             kNanosPerSecond / kCaptureTimescale);
}

class X11Frame : public CaptureFrame {
public:
    X11Frame(X11ScreenGrabber& grabber, std::uint64_t pts, OutputRect output)
        : CaptureFrame(pts, output.width, output.height), m_grabber(grabber) {}

    const std::string& error() const { return m_error; }

protected:
    ImageView fetchPixels() override {
        ImageView view = m_grabber.grab(m_error);
        if (!view.isValid()) {
            platform::logf("[ZQ]Screen capture failed: %s", m_error.c_str());
        }
        return view;
    }

private:
    X11ScreenGrabber& m_grabber;
    std::string m_error;
};

} // namespace

X11ScreenSource::X11ScreenSource(Method method, std::string displayName)
    : m_method(method), m_displayName(std::move(displayName)) {}

X11ScreenSource::~X11ScreenSource() {
    stop();
}

bool X11ScreenSource::offersSharedMemory(const std::string& displayName) {
    return X11ScreenGrabber::offersSharedMemory(displayName);
}

bool X11ScreenSource::start(FrameHandler handler, ErrorHandler onError) {
    if (m_thread.joinable()) {
        return false;
    }
    {
        std::lock_guard guard(m_lock);
        m_stopping = false;
    }
    m_thread = std::thread([this, handler = std::move(handler), onError = std::move(onError)]() mutable {
        run(std::move(handler), std::move(onError));
    });
    return true;
}

void X11ScreenSource::stop() {
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

bool X11ScreenSource::waitUntil(Clock::time_point when) {
    std::unique_lock guard(m_lock);
    return !m_wake.wait_until(guard, when, [this] { return m_stopping; });
}

void X11ScreenSource::run(FrameHandler handler, ErrorHandler onError) {
    platform::logf("startCaptureWrapper");
    auto fail = [&onError](const std::string& reason) {
        const std::string line = reportStartCaptureFailed(reason);
        if (onError) {
            onError(line);
        }
    };
    std::string error;
    std::unique_ptr<X11ScreenGrabber> grabber = X11ScreenGrabber::open(m_displayName, m_method, error);
    if (!grabber) {
        fail(error);
        return;
    }
    const Clock::time_point origin = Clock::now();
    std::uint64_t tick = 0;
    while (waitUntil(tickTime(origin, tick))) {
        if (!grabber->refreshOutput(error)) {
            fail(error);
            return;
        }
        X11Frame frame(*grabber, tick, grabber->output());
        handler(frame);
        if (grabber->connectionFailed()) {
            fail("the X server connection was lost");
            return;
        }
        // A slow consumer skips the ticks that have already passed instead of catching up with a
        // burst; the next frame is the latest due one, still stamped with its own scheduled time.
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - origin).count();
        const auto due = static_cast<std::uint64_t>(elapsed * kCaptureTimescale / kNanosPerSecond);
        tick = std::max(tick + 1, due);
    }
}

} // namespace streaming
