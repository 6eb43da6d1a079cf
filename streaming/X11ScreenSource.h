// The capture source of an X11 desktop: the primary output of the X screen, 30 ticks a second on
// an exact schedule (tick n is stamped n / 30 s after the start and pixels are captured only when
// the consumer asks for them). Frames are delivered on the source's own capture thread; start and
// stop are called from any other thread.
#pragma once

#include "streaming/CaptureSource.h"
#include "streaming/X11ScreenGrabber.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace streaming {

class X11ScreenSource : public CaptureSource {
public:
    using Method = X11ScreenGrabber::Method;

    // displayName empty: $DISPLAY. SharedMemory is the newer capture path, GetImage the plain one.
    explicit X11ScreenSource(Method method, std::string displayName = {});
    ~X11ScreenSource() override;

    // Whether the display takes shared segments from this process (picks the capture path).
    static bool offersSharedMemory(const std::string& displayName = {});

    // Connects and captures on a thread of its own. A failure, at set-up or later, prints one
    // "Start capture failed: ..." line, is told to onError and ends the delivery.
    bool start(FrameHandler handler, ErrorHandler onError = {}) override;
    void stop() override;

private:
    void run(FrameHandler handler, ErrorHandler onError);
    // Waits until the given time; false when stopped meanwhile.
    bool waitUntil(std::chrono::steady_clock::time_point when);

    const Method m_method;
    const std::string m_displayName;
    std::mutex m_lock; // guards m_stopping
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace streaming
