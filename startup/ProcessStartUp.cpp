#include "startup/ProcessStartUp.h"

#include "platform/Log.h"

namespace startup {

int runProcessStartUp(const StartUpSteps& steps) {
    const std::unique_ptr<PowerAssertions> assertions = PowerAssertions::take(steps.power);
    if (steps.permission.preflight()) {
        if (steps.createCaptureObjects)
            steps.createCaptureObjects();
    } else {
        // Without capture no client object is ever made in this run; the permission window says
        // what to do, and a permission granted now takes effect at the next start.
        platform::logf("[ZQ]Screen capture not allowed; no capture pipeline in this run.");
    }
    return steps.runApplication ? steps.runApplication() : 0;
}

} // namespace startup
