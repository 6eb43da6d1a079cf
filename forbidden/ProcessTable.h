// The system side of the forbidden-program pass: lists every process with its kernel command name and
// ends one with SIGKILL. LinuxProcessTable reads /proc and signals through a pidfd. Called only from
// the thread that runs the pass (the capture queue); an instance is not shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forbidden {

// One process as the kernel lists it.
struct ProcessEntry {
    std::int32_t processID = 0;
    // The kernel's short command name: at most 15 bytes for a user process (the kernel keeps 16 with
    // the terminating zero); only kernel threads show longer names.
    std::string processName;
    bool kernelThread = false;
    std::int32_t parentID = 0;  // 0 when unknown
    std::int32_t sessionID = 0; // the process id of its session's leader; 0 when unknown
};

class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    // Fills `processes` with every process, in the order the kernel lists them; empty when the
    // listing fails. The vector is reused so that a pass allocates nothing once warmed up.
    virtual void getBSDProcessListAsMutable(std::vector<ProcessEntry>& processes) = 0;

    // The agent's own process id.
    virtual std::int32_t selfProcessID() const = 0;

    // Sends SIGKILL to the listed process when it still is what was listed. Answers true when the
    // signal was sent.
    virtual bool killIfUnchanged(const ProcessEntry& listed) = 0;
};

class LinuxProcessTable final : public ProcessTable {
public:
    static constexpr const char* kDefaultProcRoot = "/proc";

    // `procRoot` and `userID` are for tests: a crafted tree, or a user that owns nothing. The agent
    // uses /proc and its effective user.
    LinuxProcessTable();
    LinuxProcessTable(std::string procRoot, std::uint32_t userID);

    void getBSDProcessListAsMutable(std::vector<ProcessEntry>& processes) override;
    std::int32_t selfProcessID() const override;

    // Opens a pidfd first and only then reads the process again: the pidfd pins the process, so
    // when the id has been reused since the listing the re-read sees the new process (its name or
    // owner differs and nothing is sent), and when the listed process ended after the open the
    // signal goes to nobody. Never signals the agent, process 1, a kernel thread or a process whose
    // effective user is not the agent's.
    bool killIfUnchanged(const ProcessEntry& listed) override;

    // One process read afresh: name and kernel-thread flag from "stat", effective user from
    // "status". False when the process is gone or its files are unreadable.
    bool inspect(std::int32_t processID, ProcessEntry& entry, std::uint32_t& effectiveUserID) const;

private:
    bool readStat(int procDirFd, const char* pidText, ProcessEntry& entry) const;
    void noteMalformed(const char* pidText) const;

    std::string m_procRoot;
    std::uint32_t m_userID;
    mutable bool m_loggedMalformed = false;
};

} // namespace forbidden
