// Power assertions on a Linux desktop through sd-bus: against idle sleep a logind inhibitor
// ("idle", "block") on the system bus, against display sleep the session's screen-saver inhibit.
// Both last while this object holds them (the inhibitor's descriptor, the session-bus connection).
// Main thread.
#pragma once

#include "startup/PowerAssertions.h"

#include <map>
#include <memory>

namespace startup {

class SdBusPowerBackend : public PowerAssertionBackend {
public:
    // An unanswered bus call gives up after this long, so a stuck service cannot stall start-up.
    static constexpr std::uint64_t kCallTimeoutMicroseconds = 2'000'000;
    static constexpr const char* kWho = "Olvex Student";

    SdBusPowerBackend();
    ~SdBusPowerBackend() override;
    SdBusPowerBackend(const SdBusPowerBackend&) = delete;
    SdBusPowerBackend& operator=(const SdBusPowerBackend&) = delete;

    // Answers 0 or a negative errno (no bus: -ENOENT and the like; unknown type: -EINVAL).
    int createAssertion(const std::string& type, int level, const std::string& name,
                        AssertionID& id) override;
    void releaseAssertion(AssertionID id) override;

private:
    int inhibitIdle(const std::string& name, AssertionID& id);
    int inhibitDisplay(const std::string& name, AssertionID& id);

    struct Bus;
    std::unique_ptr<Bus> m_sessionBus; // kept open: the screen saver drops inhibits of a closed peer
    std::map<AssertionID, int> m_inhibitorFds;
    std::map<AssertionID, std::uint32_t> m_screenSaverCookies;
    AssertionID m_nextId = 1;
};

} // namespace startup
