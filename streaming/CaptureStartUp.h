// Start-up of the capture pipeline: the newer path (ScreenCaptureProcessor fed by ScreenCaptureHelper)
// when the X server takes shared-memory segments from this process, the plain-image path
// (ScreenStreamDaemon) otherwise. Called once on the main thread; the result lives as long as the
// process.
#pragma once

#include "platform/NotificationCenter.h"
#include "streaming/ScreenCaptureHelper.h"
#include "streaming/ScreenCaptureProcessor.h"
#include "streaming/ScreenStreamDaemon.h"

#include <functional>
#include <memory>
#include <optional>

namespace streaming {

struct ScreenCapture {
    std::shared_ptr<ScreenCaptureProcessor> processor; // newer path, with helper
    std::unique_ptr<ScreenCaptureHelper> helper;
    std::shared_ptr<ScreenStreamDaemon> daemon; // plain-image path

    // The capture object that starts sessions, whichever path runs.
    ScreenCaptureCore* captureObject() const {
        return processor ? static_cast<ScreenCaptureCore*>(processor.get()) : daemon.get();
    }
};

struct CaptureStartOptions {
    // Unset: ask the X server whether it offers MIT-SHM.
    std::optional<bool> sharedMemory;
    // Makes the frame source of the chosen path; unset: the primary X11 output.
    std::function<std::unique_ptr<CaptureSource>(bool sharedMemory)> makeSource;
    // Hands each login's client to the main window's controller.
    session::SessionHeartbeat::ClientHandoff handoff;
    platform::NotificationCenter* center = nullptr; // unset: the default centre
    // The forbidden-program pass's process table; unset: the system's.
    std::function<std::unique_ptr<forbidden::ProcessTable>()> makeProcessTable;
};

// Creates the capture object of the chosen path and starts capturing.
ScreenCapture startScreenCapture(CaptureStartOptions options);

} // namespace streaming
