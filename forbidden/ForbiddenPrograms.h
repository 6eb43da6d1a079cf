// The teacher's forbidden browsers and programs, and the pass that ends them. The capture object owns
// one: the two teacher commands arrive on a connection's receive thread (the notification handlers),
// the kill pass runs on the frame thread once per dropped frame. Lists are swapped under a lock and a
// pass works on its own snapshot, so a replacement never shows up half-way through a pass.
#pragma once

#include "client/ClientEvents.h"
#include "forbidden/ProcessTable.h"
#include "forbidden/SessionProcesses.h"
#include "platform/NotificationCenter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forbidden {

// Posted by the client object for "[MV00061]" and "[MV00075]" with a Dictionary object.
inline constexpr const char* kForbiddanceWebNotification = client::events::kForbiddanceWeb;
inline constexpr const char* kForbiddanceListNotification = client::events::kForbiddanceList;
inline constexpr const char* kForbiddanceWebKey = "web";
inline constexpr const char* kForbiddanceListKey = "list";

class ForbiddenPrograms {
public:
    // The agent's instance lists and signals through /proc and asks the X server which processes
    // carry the session; tests hand in their own table (and session processes).
    ForbiddenPrograms();
    explicit ForbiddenPrograms(std::unique_ptr<ProcessTable> table,
                               std::unique_ptr<SessionProcesses> session = nullptr);
    ForbiddenPrograms(const ForbiddenPrograms&) = delete;
    ForbiddenPrograms& operator=(const ForbiddenPrograms&) = delete;

    // Observes both teacher notifications on `observers` (from every sender). Any thread.
    void observe(platform::ObserverSet& observers);

    // Notification handlers, run on the receive thread that posted.
    // {"web": "true"} turns browser killing on, "false" off; any other text or no text changes nothing.
    void callbackOnReceivedForbiddanceWeb(const platform::Notification& notification);
    // {"list": text}: the text split at every ',' (untrimmed; "" gives one empty name) replaces the
    // program list. Without a text the list is emptied and "ArrList comma nil" logged.
    void callbackOnReceivedForbiddanceList(const platform::Notification& notification);

    // The same two commands with the value itself; std::nullopt means the value was missing.
    void setWebBrowserKill(std::optional<std::string_view> web);
    void setForbiddanceList(std::optional<std::string_view> list);

    // One kill pass, on the frame thread. `preventApp` is the client object's program-killing switch
    // ("[MV00074]"). Ends every process whose short name holds a forbidden name as a literal,
    // case-sensitive substring (an empty name matches nothing): the browser names while browser
    // killing is on, the teacher's list while `preventApp` is on. With both off (or nothing that
    // could match) the process table is not read at all. Never touches the agent itself, its
    // ancestors, its session leader, process 1, kernel threads, another user's processes, nor the
    // processes that carry the desktop (X server, window manager, compositor, service manager,
    // session bus): a short name from the console ("sh", "X") would otherwise end the student's
    // whole session. Answers how many processes were signalled; the result is for tests, the pass
    // itself reports nothing.
    int killProcess(bool preventApp);

    bool webBrowserKill() const { return m_bWebBroswerKill.load(std::memory_order_acquire); }
    std::vector<std::string> forbiddanceList() const;
    // The fixed browser names: the three product names, then the Linux process names of the same
    // browsers and of the desktop's usual default browser.
    static const std::vector<std::string>& forbiddanceWeb();

private:
    struct ProgramList {
        std::vector<std::string> names; // as the teacher sent them
        std::vector<std::string> parts; // the ones that can match: non-empty, fit a name, no repeats
    };

    // Whether a process that matched must live; works out the spared set at its first call in a pass.
    bool spared(const ProcessEntry& process, std::int32_t self);
    void collectSpared(std::int32_t self);

    std::unique_ptr<ProcessTable> m_table;
    std::unique_ptr<SessionProcesses> m_session;
    std::atomic<bool> m_bWebBroswerKill{false};

    mutable std::mutex m_listLock;
    std::shared_ptr<const ProgramList> m_arrForbidanceList; // replaced whole, never changed in place

    // Pass state: one pass at a time (the frame thread); the lock only guards against a second caller.
    std::mutex m_passLock;
    std::vector<ProcessEntry> m_processes;
    std::vector<std::string_view> m_parts;
    bool m_sparedKnown = false;
    std::vector<std::int32_t> m_sparedIDs; // the agent's line and the session's processes
    SessionKeepers m_keepers;
};

} // namespace forbidden
