// A scripted process table for kill-pass tests: a fixed listing, a record of what was signalled and
// an optional hook run inside each kill. Used from the thread that runs the pass only.
#pragma once

#include "forbidden/ProcessTable.h"
#include "forbidden/SessionProcesses.h"

#include <functional>
#include <string>
#include <vector>

namespace forbidden::test {

class FakeProcessTable : public ProcessTable {
public:
    static constexpr std::int32_t kSelf = 4242;

    explicit FakeProcessTable(std::vector<ProcessEntry> processes) : m_processes(std::move(processes)) {}

    void getBSDProcessListAsMutable(std::vector<ProcessEntry>& processes) override {
        ++listings;
        processes = m_processes;
    }
    std::int32_t selfProcessID() const override { return kSelf; }
    bool killIfUnchanged(const ProcessEntry& listed) override {
        killed.push_back(listed.processName);
        if (onKill)
            onKill(listed);
        return true;
    }

    int listings = 0;
    std::vector<std::string> killed;
    std::function<void(const ProcessEntry&)> onKill;

private:
    std::vector<ProcessEntry> m_processes;
};

// Session processes given by the test; counts how often a pass asked.
class FakeSessionProcesses : public SessionProcesses {
public:
    explicit FakeSessionProcesses(SessionKeepers keepers = {}) : m_keepers(std::move(keepers)) {}
    void sessionKeepers(SessionKeepers& keepers) override {
        ++asked;
        keepers = m_keepers;
    }
    int asked = 0;

private:
    SessionKeepers m_keepers;
};

// Processes with ids from 100 upwards, named as given.
inline std::vector<ProcessEntry> processesNamed(const std::vector<std::string>& names) {
    std::vector<ProcessEntry> processes;
    std::int32_t id = 100;
    for (const std::string& name : names)
        processes.push_back({id++, name, false});
    return processes;
}

} // namespace forbidden::test
