#include "streaming/ScreenCaptureProcessor.h"

namespace streaming {

std::shared_ptr<ScreenCaptureProcessor>
ScreenCaptureProcessor::create(platform::NotificationCenter& center,
                               std::unique_ptr<forbidden::ProcessTable> processTable) {
    Options options;
    options.queueName = kCaptureQueueName;
    options.logsHeartbeatFailure = true;
    options.upload.thumbnailClearsH264Init = false;
    options.processTable = std::move(processTable);
    auto processor = std::make_shared<ScreenCaptureProcessor>(std::move(options), center);
    processor->setUp(processor);
    return processor;
}

ScreenCaptureProcessor::ScreenCaptureProcessor(Options options, platform::NotificationCenter& center)
    : ScreenCaptureCore(std::move(options), center) {}

void ScreenCaptureProcessor::didReceiveSampleBuffer(CaptureFrame& frame) {
    handleFrameOnCaptureQueue(frame);
}

void ScreenCaptureProcessor::processImage(CaptureFrame& frame, client::StudentClient& studentClient) {
    // In the H.264 live view the console has been told H.264 is on: the H.264 frame goes out rather
    // than nothing, which would freeze the teacher's view.
    uploader().processImage(frame, studentClient);
}

void ScreenCaptureProcessor::processRelayImage(CaptureFrame& frame, client::StudentClient& studentClient) {
    uploader().processRelayImage(frame, studentClient);
}

} // namespace streaming
