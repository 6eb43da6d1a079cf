#include "streaming/ScreenCaptureHelper.h"

#include "platform/Log.h"
#include "streaming/X11ScreenSource.h"

namespace streaming {

ScreenCaptureHelper::ScreenCaptureHelper()
    : ScreenCaptureHelper(std::make_unique<X11ScreenSource>(X11ScreenSource::Method::SharedMemory)) {}

ScreenCaptureHelper::ScreenCaptureHelper(std::unique_ptr<CaptureSource> stream)
    : m_stream(std::move(stream)) {}

ScreenCaptureHelper::~ScreenCaptureHelper() {
    if (m_stream) {
        m_stream->stop();
    }
}

void ScreenCaptureHelper::setDelegate(std::weak_ptr<ScreenCaptureHelperDelegate> delegate) {
    std::lock_guard lock(m_lock);
    m_delegate = std::move(delegate);
}

std::shared_ptr<ScreenCaptureHelperDelegate> ScreenCaptureHelper::delegate() const {
    std::lock_guard lock(m_lock);
    return m_delegate.lock();
}

bool ScreenCaptureHelper::startCaptureWrapper() {
    platform::logf("startCaptureWrapper");
    if (!m_stream) {
        return false;
    }
    return m_stream->start([this](CaptureFrame& frame) { streamDidOutput(frame); });
}

void ScreenCaptureHelper::streamDidOutput(CaptureFrame& frame) {
    // Held for the call, so a delegate released meanwhile finishes this frame first.
    if (std::shared_ptr<ScreenCaptureHelperDelegate> target = delegate()) {
        target->didReceiveSampleBuffer(frame);
    }
}

} // namespace streaming
