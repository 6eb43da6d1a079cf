// Keeps the computer awake while the agent runs: an assertion against idle sleep and, once that
// holds, one against display sleep, both held until the process ends. The backend does the
// system's part (sd-bus in the program, a fake in tests). Main thread, once at start-up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace startup {

class PowerAssertionBackend {
public:
    using AssertionID = std::uint32_t;

    virtual ~PowerAssertionBackend() = default;
    // Answers 0 and fills id on success, a non-zero error code otherwise.
    virtual int createAssertion(const std::string& type, int level, const std::string& name,
                                AssertionID& id) = 0;
    virtual void releaseAssertion(AssertionID id) = 0;
};

class PowerAssertions {
public:
    static constexpr const char* kNoIdleSleepAssertion = "NoIdleSleepAssertion";
    static constexpr const char* kNoDisplaySleepAssertion = "NoDisplaySleepAssertion";
    static constexpr int kAssertionLevelOn = 255;
    static constexpr const char* kIdleSleepName = "Olvex Student Preventing idle Sleep";
    static constexpr const char* kDisplaySleepName = "Olvex Student Preventing display Sleep";

    // Takes both assertions in order; on any failure it logs, releases what it took and holds
    // nothing (start-up goes on without assertions).
    static std::unique_ptr<PowerAssertions> take(PowerAssertionBackend& backend);

    ~PowerAssertions();
    PowerAssertions(const PowerAssertions&) = delete;
    PowerAssertions& operator=(const PowerAssertions&) = delete;

    bool holdsAssertions() const { return m_bHeld; }

private:
    explicit PowerAssertions(PowerAssertionBackend& backend) : m_backend(backend) {}

    PowerAssertionBackend& m_backend;
    bool m_bHeld = false;
    PowerAssertionBackend::AssertionID m_idleAssertion = 0;
    PowerAssertionBackend::AssertionID m_displayAssertion = 0;
};

} // namespace startup
