// The capture object of the plain-image capture path (X servers without MIT-SHM): owns its capture
// session, handles every frame on its serial queue "ScreenCaptureQueue" and uploads on the direct
// link (with the H.264 live view) or, in a relay session, through the relay. Created on the main thread with
// create(), then startCapturing(); the application keeps it for the life of the process.
#pragma once

#include "streaming/ScreenCaptureCore.h"

#include <memory>

namespace streaming {

class ScreenStreamDaemon final : public ScreenCaptureCore,
                                 public std::enable_shared_from_this<ScreenStreamDaemon> {
public:
    inline static constexpr const char* kCaptureQueueName = "ScreenCaptureQueue";

    // session: the capture session (empty: the primary X11 output read with plain image requests).
    static std::shared_ptr<ScreenStreamDaemon>
    create(std::unique_ptr<CaptureSource> session = nullptr,
           platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter(),
           std::unique_ptr<forbidden::ProcessTable> processTable = nullptr);
    ~ScreenStreamDaemon() override;

    // Starts the capture session; answers false when it was already running.
    bool startCapturing();
    // One frame of the session, on the capture queue.
    void captureOutput(CaptureFrame& frame) { handleFrame(frame); }
    void processImage(CaptureFrame& frame, client::StudentClient& studentClient) override;
    void processRelayImage(CaptureFrame& frame, client::StudentClient& studentClient) override;

    ScreenStreamDaemon(Options options, std::unique_ptr<CaptureSource> session,
                       platform::NotificationCenter& center);

private:
    std::unique_ptr<CaptureSource> m_session;
};

} // namespace streaming
