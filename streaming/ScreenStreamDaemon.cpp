#include "streaming/ScreenStreamDaemon.h"

#include "streaming/X11ScreenSource.h"

namespace streaming {

std::shared_ptr<ScreenStreamDaemon>
ScreenStreamDaemon::create(std::unique_ptr<CaptureSource> session, platform::NotificationCenter& center,
                           std::unique_ptr<forbidden::ProcessTable> processTable) {
    if (!session) {
        session = std::make_unique<X11ScreenSource>(X11ScreenSource::Method::GetImage);
    }
    Options options;
    options.queueName = kCaptureQueueName;
    // This object logs nothing when the heartbeat fails.
    options.logsHeartbeatFailure = false;
    options.upload.thumbnailClearsH264Init = true;
    options.processTable = std::move(processTable);
    auto daemon = std::make_shared<ScreenStreamDaemon>(std::move(options), std::move(session), center);
    daemon->setUp(daemon);
    return daemon;
}

ScreenStreamDaemon::ScreenStreamDaemon(Options options, std::unique_ptr<CaptureSource> session,
                                       platform::NotificationCenter& center)
    : ScreenCaptureCore(std::move(options), center), m_session(std::move(session)) {}

ScreenStreamDaemon::~ScreenStreamDaemon() {
    // No frame callback may run once the members it uses start going away.
    m_session->stop();
}

bool ScreenStreamDaemon::startCapturing() {
    // The destructor stops the session before anything the callback uses goes away, so the callback
    // may use this object directly (a strong reference taken here could make the capture thread run
    // the destructor, and stop itself).
    return m_session->start([this](CaptureFrame& frame) { handleFrameOnCaptureQueue(frame); });
}

void ScreenStreamDaemon::processRelayImage(CaptureFrame& frame, client::StudentClient& studentClient) {
    uploader().processRelayImage(frame, studentClient);
}

void ScreenStreamDaemon::processImage(CaptureFrame& frame, client::StudentClient& studentClient) {
    uploader().processImage(frame, studentClient);
}

} // namespace streaming
