#include "forbidden/ForbiddenPrograms.h"

#include "client/CommandText.h"
#include "platform/Log.h"

#include <algorithm>

namespace forbidden {
namespace {

// A user process's short name has at most 15 bytes (16 with the zero the kernel keeps), so a longer
// forbidden name can never be found in one; kernel threads, whose names may be longer, are exempt.
constexpr std::size_t kMaxCommandNameBytes = 15;

constexpr std::string_view kOn = "true";
constexpr std::string_view kOff = "false";

std::optional<std::string_view> dictionaryValue(const platform::Notification& notification, const char* key) {
    const std::string* text = notification.entry(key);
    if (!text)
        return std::nullopt;
    return std::string_view(*text);
}

bool excludedFromPass(const ProcessEntry& process, std::int32_t self) {
    constexpr std::int32_t kInitProcessID = 1;
    return process.processID <= kInitProcessID || process.processID == self || process.kernelThread;
}

} // namespace

const std::vector<std::string>& ForbiddenPrograms::forbiddanceWeb() {
    // The product names as the teacher's console knows them, then what the same browsers are
    // called in a Linux process list: "chrome" for Chrome and its helpers, "chromium" (which
    // "chrome" does not find), "msedge" for Edge, and "firefox" for the desktop's default browser
    // (it finds "firefox-esr" too).
    static const std::vector<std::string> names = {"Safari",   "Chrome", "Microsoft Edge", "chrome",
                                                   "chromium", "msedge", "firefox"};
    return names;
}

ForbiddenPrograms::ForbiddenPrograms() : ForbiddenPrograms(std::make_unique<LinuxProcessTable>()) {}

ForbiddenPrograms::ForbiddenPrograms(std::unique_ptr<ProcessTable> table,
                                     std::unique_ptr<SessionProcesses> session)
    : m_table(std::move(table)),
      m_session(session ? std::move(session) : std::make_unique<X11SessionProcesses>()),
      m_arrForbidanceList(std::make_shared<const ProgramList>()) {}

void ForbiddenPrograms::observe(platform::ObserverSet& observers) {
    observers.add(kForbiddanceWebNotification, nullptr,
                  [this](const platform::Notification& n) { callbackOnReceivedForbiddanceWeb(n); });
    observers.add(kForbiddanceListNotification, nullptr,
                  [this](const platform::Notification& n) { callbackOnReceivedForbiddanceList(n); });
}

void ForbiddenPrograms::callbackOnReceivedForbiddanceWeb(const platform::Notification& notification) {
    setWebBrowserKill(dictionaryValue(notification, kForbiddanceWebKey));
}

void ForbiddenPrograms::callbackOnReceivedForbiddanceList(const platform::Notification& notification) {
    setForbiddanceList(dictionaryValue(notification, kForbiddanceListKey));
}

void ForbiddenPrograms::setWebBrowserKill(std::optional<std::string_view> web) {
    if (web == kOn)
        m_bWebBroswerKill.store(true, std::memory_order_release);
    else if (web == kOff)
        m_bWebBroswerKill.store(false, std::memory_order_release);
}

void ForbiddenPrograms::setForbiddanceList(std::optional<std::string_view> list) {
    auto next = std::make_shared<ProgramList>();
    if (list) {
        next->names = client::splitFields(*list);
        // Matching work is done here, once per command, not on every pass: the body comes from the
        // network and may repeat a name thousands of times.
        for (const std::string& name : next->names) {
            if (name.empty() || name.size() > kMaxCommandNameBytes)
                continue;
            if (std::find(next->parts.begin(), next->parts.end(), name) == next->parts.end())
                next->parts.push_back(name);
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_listLock);
        m_arrForbidanceList = std::move(next);
    }
    if (!list)
        platform::logf("ArrList comma nil");
}

std::vector<std::string> ForbiddenPrograms::forbiddanceList() const {
    std::lock_guard<std::mutex> lock(m_listLock);
    return m_arrForbidanceList->names;
}

int ForbiddenPrograms::killProcess(bool preventApp) {
    const bool browsers = webBrowserKill();
    if (!browsers && !preventApp)
        return 0;

    std::lock_guard<std::mutex> pass(m_passLock);
    // The snapshot keeps the list alive for the whole pass, whatever the receive thread does.
    std::shared_ptr<const ProgramList> programs;
    if (preventApp) {
        std::lock_guard<std::mutex> lock(m_listLock);
        programs = m_arrForbidanceList;
    }
    m_parts.clear();
    if (browsers)
        m_parts.insert(m_parts.end(), forbiddanceWeb().begin(), forbiddanceWeb().end());
    if (programs)
        m_parts.insert(m_parts.end(), programs->parts.begin(), programs->parts.end());
    if (m_parts.empty())
        return 0; // nothing could match: no reason to read the process table

    m_table->getBSDProcessListAsMutable(m_processes);
    const std::int32_t self = m_table->selfProcessID();
    m_sparedKnown = false;
    int signalled = 0;
    for (const ProcessEntry& process : m_processes) {
        if (excludedFromPass(process, self))
            continue;
        const bool forbidden = std::any_of(m_parts.begin(), m_parts.end(), [&](std::string_view part) {
            return process.processName.find(part) != std::string::npos;
        });
        // One SIGKILL per process: a name holding two forbidden parts needs no second signal.
        if (forbidden && !spared(process, self) && m_table->killIfUnchanged(process))
            ++signalled;
    }
    return signalled;
}

bool ForbiddenPrograms::spared(const ProcessEntry& process, std::int32_t self) {
    if (!m_sparedKnown) {
        collectSpared(self);
        m_sparedKnown = true;
    }
    return std::find(m_sparedIDs.begin(), m_sparedIDs.end(), process.processID) != m_sparedIDs.end() ||
           std::find(m_keepers.names.begin(), m_keepers.names.end(), process.processName) !=
               m_keepers.names.end();
}

void ForbiddenPrograms::collectSpared(std::int32_t self) {
    m_session->sessionKeepers(m_keepers);
    m_sparedIDs = m_keepers.processIDs;
    const auto find = [this](std::int32_t id) -> const ProcessEntry* {
        auto it = std::find_if(m_processes.begin(), m_processes.end(),
                               [id](const ProcessEntry& p) { return p.processID == id; });
        return it == m_processes.end() ? nullptr : &*it;
    };
    const ProcessEntry* current = find(self);
    if (current && current->sessionID > 0)
        m_sparedIDs.push_back(current->sessionID);
    // Up the parent links from the agent; bounded by the table, so a looped table cannot hang the pass.
    for (std::size_t step = 0; current && step < m_processes.size(); ++step) {
        if (current->parentID <= 0)
            break;
        m_sparedIDs.push_back(current->parentID);
        current = find(current->parentID);
    }
}

} // namespace forbidden
