#include "startup/PowerAssertions.h"

#include "platform/Log.h"

namespace startup {

std::unique_ptr<PowerAssertions> PowerAssertions::take(PowerAssertionBackend& backend) {
    std::unique_ptr<PowerAssertions> held(new PowerAssertions(backend));
    PowerAssertionBackend::AssertionID idle = 0;
    int result = backend.createAssertion(kNoIdleSleepAssertion, kAssertionLevelOn, kIdleSleepName, idle);
    if (result != 0) {
        platform::logf("Failed to create No Idle Sleep assertion. Error: %d", result);
        return held;
    }
    platform::logf("No Idle Sleep assertion created successfully. The system will not enter idle sleep.");

    PowerAssertionBackend::AssertionID display = 0;
    result = backend.createAssertion(kNoDisplaySleepAssertion, kAssertionLevelOn, kDisplaySleepName, display);
    if (result != 0) {
        platform::logf("Failed to create No Display Sleep assertion. Error: %d", result);
        backend.releaseAssertion(idle);
        return held;
    }
    platform::logf("No Display Sleep assertion created successfully. The display will not sleep.");
    platform::logf("Waiting for power management events...");
    held->m_bHeld = true;
    held->m_idleAssertion = idle;
    held->m_displayAssertion = display;
    return held;
}

PowerAssertions::~PowerAssertions() {
    if (!m_bHeld)
        return;
    m_backend.releaseAssertion(m_displayAssertion);
    m_backend.releaseAssertion(m_idleAssertion);
}

} // namespace startup
