// The frame source of the newer capture path: runs one shared-memory capture stream of the primary
// screen and hands every frame, unchanged, to its delegate. It paces, scales and encodes nothing.
// Frames arrive on the stream's own capture thread; start and destruction belong to the main thread.
#pragma once

#include "streaming/CaptureSource.h"

#include <memory>
#include <mutex>

namespace streaming {

class ScreenCaptureHelperDelegate {
public:
    virtual ~ScreenCaptureHelperDelegate() = default;
    // One frame, valid only during the call (its pixels are fetched on demand).
    virtual void didReceiveSampleBuffer(CaptureFrame& frame) = 0;
};

class ScreenCaptureHelper {
public:
    // The stream of the primary X11 output over MIT-SHM; tests hand in their own source.
    ScreenCaptureHelper();
    explicit ScreenCaptureHelper(std::unique_ptr<CaptureSource> stream);
    ~ScreenCaptureHelper();
    ScreenCaptureHelper(const ScreenCaptureHelper&) = delete;
    ScreenCaptureHelper& operator=(const ScreenCaptureHelper&) = delete;

    // Weak: frames stop reaching a delegate that is gone or replaced by nullptr; the stream runs on.
    void setDelegate(std::weak_ptr<ScreenCaptureHelperDelegate> delegate);
    std::shared_ptr<ScreenCaptureHelperDelegate> delegate() const;

    // Logs "startCaptureWrapper" and starts the stream; its set-up runs off the calling thread. A
    // failure is printed once as "Start capture failed: ..." by the stream and never retried.
    // Answers false when the stream was already started.
    bool startCaptureWrapper();

private:
    void streamDidOutput(CaptureFrame& frame);

    mutable std::mutex m_lock; // guards delegate
    std::weak_ptr<ScreenCaptureHelperDelegate> m_delegate;
    std::unique_ptr<CaptureSource> m_stream;
};

} // namespace streaming
