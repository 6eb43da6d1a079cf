#include "streaming/CaptureStartUp.h"

#include "streaming/X11ScreenSource.h"

namespace streaming {

ScreenCapture startScreenCapture(CaptureStartOptions options) {
    platform::NotificationCenter& center =
        options.center ? *options.center : platform::NotificationCenter::defaultCenter();
    const bool sharedMemory =
        options.sharedMemory ? *options.sharedMemory : X11ScreenSource::offersSharedMemory();
    auto makeSource = [&]() -> std::unique_ptr<CaptureSource> {
        if (options.makeSource) {
            return options.makeSource(sharedMemory);
        }
        return std::make_unique<X11ScreenSource>(sharedMemory ? X11ScreenSource::Method::SharedMemory
                                                              : X11ScreenSource::Method::GetImage);
    };

    std::unique_ptr<forbidden::ProcessTable> table =
        options.makeProcessTable ? options.makeProcessTable() : nullptr;

    ScreenCapture capture;
    if (sharedMemory) {
        capture.processor = ScreenCaptureProcessor::create(center, std::move(table));
        capture.processor->setClientHandoff(options.handoff);
        capture.helper = std::make_unique<ScreenCaptureHelper>(makeSource());
        capture.helper->setDelegate(capture.processor);
        capture.helper->startCaptureWrapper();
    } else {
        capture.daemon = ScreenStreamDaemon::create(makeSource(), center, std::move(table));
        capture.daemon->setClientHandoff(options.handoff);
        capture.daemon->startCapturing();
    }
    return capture;
}

} // namespace streaming
