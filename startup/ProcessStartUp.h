// The process's start-up order, free of any window system: power assertions, the screen-capture
// preflight and (only when allowed) the capture objects, then the application's main loop, whose
// result it answers. The assertions are held while the main loop runs. Main thread, once.
#pragma once

#include "startup/PowerAssertions.h"
#include "startup/ScreenCapturePermission.h"

#include <functional>

namespace startup {

struct StartUpSteps {
    PowerAssertionBackend& power;
    ScreenCapturePermission& permission;
    // Makes the capture objects; called only when capture is allowed.
    std::function<void()> createCaptureObjects;
    // Runs the application's main loop and answers its result.
    std::function<int()> runApplication;
};

int runProcessStartUp(const StartUpSteps& steps);

} // namespace startup
