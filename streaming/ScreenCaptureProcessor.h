// The capture object of the newer capture path: ScreenCaptureHelper feeds it the frames of the
// shared-memory stream, and it paces them and uploads them on the direct link or, in a relay
// session, through the relay (with the relay heartbeat). Frames are handled on its capture queue.
// Created on the main thread with create(); the application keeps it for the life of the process.
#pragma once

#include "streaming/ScreenCaptureCore.h"
#include "streaming/ScreenCaptureHelper.h"

#include <memory>

namespace streaming {

class ScreenCaptureProcessor final : public ScreenCaptureCore,
                                     public ScreenCaptureHelperDelegate,
                                     public std::enable_shared_from_this<ScreenCaptureProcessor> {
public:
    inline static constexpr const char* kCaptureQueueName = "ScreenCaptureProcessorQueue";

    static std::shared_ptr<ScreenCaptureProcessor>
    create(platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter(),
           std::unique_ptr<forbidden::ProcessTable> processTable = nullptr);

    // Called by the helper on its stream thread; the frame is handled on the capture queue.
    void didReceiveSampleBuffer(CaptureFrame& frame) override;

    // Uploads of one accepted frame (capture queue).
    void processImage(CaptureFrame& frame, client::StudentClient& studentClient) override;
    void processRelayImage(CaptureFrame& frame, client::StudentClient& studentClient) override;
    void initRelayHeartBeat() { session().initRelayHeartBeat(); }

    ScreenCaptureProcessor(Options options, platform::NotificationCenter& center);
};

} // namespace streaming
