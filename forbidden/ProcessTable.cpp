#include "forbidden/ProcessTable.h"

#include "platform/Log.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>

namespace forbidden {
namespace {

constexpr std::int32_t kInitProcessID = 1;
// PF_KTHREAD in the per-task flags, the ninth field of /proc/<pid>/stat.
constexpr std::uint64_t kKernelThreadFlag = 0x00200000;
// Fields after the command name up to and including the flags: state, ppid, pgrp, session,
// tty_nr, tpgid, flags.
constexpr std::size_t kStatFieldsThroughFlags = 7;
constexpr std::size_t kStatParentField = 1;
constexpr std::size_t kStatSessionField = 3;
// Kernel threads of work queues show names of up to 64 bytes; anything longer is not the kernel's.
constexpr std::size_t kMaxListedNameBytes = 64;
// The fields needed from "stat" end well within this; the rest of the file is not read.
constexpr std::size_t kStatReadBytes = 512;
// "Uid:" is among the first lines of "status"; the file is some 1.5 KB in all.
constexpr std::size_t kStatusReadBytes = 4096;
// Process ids are below 2^22 (the kernel's pid_max limit), so at most 7 digits; allow 10 for int32.
constexpr std::size_t kMaxPidDigits = 10;

// Through syscall(2): the C library's own declarations of these two lack C++ linkage on this system.
int openPidfd(std::int32_t processID) {
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(processID), 0U));
}

bool sendSigkill(int pidfd) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0U) == 0;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

class UniqueDir {
public:
    explicit UniqueDir(DIR* dir) : m_dir(dir) {}
    ~UniqueDir() {
        if (m_dir)
            ::closedir(m_dir);
    }
    UniqueDir(const UniqueDir&) = delete;
    UniqueDir& operator=(const UniqueDir&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

// Reads up to `capacity` bytes of a file; answers the byte count, or -1 when it cannot be opened or
// read (the process ended meanwhile: the usual case, not worth a log line).
long readSmallFile(int dirFd, const char* path, char* buffer, std::size_t capacity) {
    UniqueFd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return -1;
    std::size_t used = 0;
    while (used < capacity) {
        ssize_t n = ::read(fd.get(), buffer + used, capacity - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    return static_cast<long>(used);
}

// A decimal process id with no sign, blank or excess digit, above 0 and within int32.
bool parseProcessID(std::string_view text, std::int32_t& processID) {
    if (text.empty() || text.size() > kMaxPidDigits)
        return false;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value <= 0 || value > INT32_MAX)
        return false;
    processID = static_cast<std::int32_t>(value);
    return true;
}

template <typename T>
bool parseUnsigned(std::string_view text, T& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "pid (name) state ppid pgrp session tty_nr tpgid flags ...". The name may hold blanks and
// parentheses, so it ends at the last ')' of the text: no later field can hold one.
bool parseStat(std::string_view text, std::int32_t expectedID, ProcessEntry& entry) {
    const std::size_t open = text.find('(');
    const std::size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open || open == 0)
        return false;
    std::int32_t processID = 0;
    if (!parseProcessID(text.substr(0, open - 1), processID) || text[open - 1] != ' ' ||
        processID != expectedID)
        return false;
    const std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.size() > kMaxListedNameBytes)
        return false;

    std::string_view rest = text.substr(close + 1);
    std::string_view fields[kStatFieldsThroughFlags];
    for (std::string_view& field : fields) {
        if (rest.empty() || rest.front() != ' ')
            return false;
        rest.remove_prefix(1);
        const std::size_t end = rest.find_first_of(" \n");
        if (end == std::string_view::npos)
            return false; // cut off: the flags are not followed by another field
        field = rest.substr(0, end);
        rest.remove_prefix(end);
    }
    std::uint64_t flags = 0;
    if (!parseUnsigned(fields[kStatFieldsThroughFlags - 1], flags))
        return false;
    // A parent or session field that does not parse leaves the link unknown, never the entry out.
    std::int32_t parentID = 0;
    std::int32_t sessionID = 0;
    if (!parseProcessID(fields[kStatParentField], parentID))
        parentID = 0;
    if (!parseProcessID(fields[kStatSessionField], sessionID))
        sessionID = 0;

    entry.processID = processID;
    entry.processName.assign(name);
    entry.kernelThread = (flags & kKernelThreadFlag) != 0;
    entry.parentID = parentID;
    entry.sessionID = sessionID;
    return true;
}

// "Uid:\treal\teffective\tsaved\tfilesystem": answers the effective user.
bool parseEffectiveUserID(std::string_view text, std::uint32_t& userID) {
    constexpr std::string_view kUidLabel = "Uid:";
    std::size_t at = text.starts_with(kUidLabel) ? 0 : text.find(std::string("\n").append(kUidLabel));
    if (at == std::string_view::npos)
        return false;
    if (at != 0)
        ++at;
    std::string_view line = text.substr(at + kUidLabel.size());
    line = line.substr(0, line.find('\n'));
    std::uint32_t ids[2] = {};
    for (std::uint32_t& id : ids) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            return false;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
        if (!parseUnsigned(line.substr(0, end), id))
            return false;
        line.remove_prefix(end);
    }
    userID = ids[1];
    return true;
}

} // namespace

LinuxProcessTable::LinuxProcessTable() : LinuxProcessTable(kDefaultProcRoot, ::geteuid()) {}

LinuxProcessTable::LinuxProcessTable(std::string procRoot, std::uint32_t userID)
    : m_procRoot(std::move(procRoot)), m_userID(userID) {}

std::int32_t LinuxProcessTable::selfProcessID() const {
    return static_cast<std::int32_t>(::getpid());
}

void LinuxProcessTable::noteMalformed(const char* pidText) const {
    // Once per table: the pass runs many times a second and one odd entry would flood the log.
    if (m_loggedMalformed)
        return;
    m_loggedMalformed = true;
    platform::logf("[ZQ]Process entry %s unreadable; such entries are skipped", pidText);
}

bool LinuxProcessTable::readStat(int procDirFd, const char* pidText, ProcessEntry& entry) const {
    std::int32_t processID = 0;
    if (!parseProcessID(pidText, processID))
        return false;
    char path[kMaxPidDigits + sizeof "/stat"];
    std::snprintf(path, sizeof path, "%s/stat", pidText);
    char buffer[kStatReadBytes];
    const long size = readSmallFile(procDirFd, path, buffer, sizeof buffer);
    if (size < 0)
        return false;
    if (!parseStat(std::string_view(buffer, static_cast<std::size_t>(size)), processID, entry)) {
        noteMalformed(pidText);
        return false;
    }
    return true;
}

void LinuxProcessTable::getBSDProcessListAsMutable(std::vector<ProcessEntry>& processes) {
    std::size_t count = 0;
    UniqueDir dir(::opendir(m_procRoot.c_str()));
    if (!dir.get()) {
        if (!m_loggedMalformed) {
            m_loggedMalformed = true;
            platform::logf("[ZQ]Process list unavailable: %s", std::strerror(errno));
        }
        processes.clear();
        return;
    }
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* item = ::readdir(dir.get())) {
        std::int32_t processID = 0;
        if (!parseProcessID(item->d_name, processID))
            continue; // "self", "sys", "meminfo" and the like
        if (count == processes.size())
            processes.emplace_back();
        if (readStat(dirFd, item->d_name, processes[count]))
            ++count;
    }
    processes.resize(count);
}

bool LinuxProcessTable::inspect(std::int32_t processID, ProcessEntry& entry,
                                std::uint32_t& effectiveUserID) const {
    UniqueFd root(::open(m_procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return false;
    char pidText[kMaxPidDigits + 1];
    std::snprintf(pidText, sizeof pidText, "%d", static_cast<int>(processID));
    if (!readStat(root.get(), pidText, entry))
        return false;
    char path[kMaxPidDigits + sizeof "/status"];
    std::snprintf(path, sizeof path, "%s/status", pidText);
    char buffer[kStatusReadBytes];
    const long size = readSmallFile(root.get(), path, buffer, sizeof buffer);
    if (size < 0)
        return false;
    if (!parseEffectiveUserID(std::string_view(buffer, static_cast<std::size_t>(size)), effectiveUserID)) {
        noteMalformed(pidText);
        return false;
    }
    return true;
}

bool LinuxProcessTable::killIfUnchanged(const ProcessEntry& listed) {
    if (listed.processID <= kInitProcessID || listed.processID == selfProcessID() || listed.kernelThread)
        return false;
    UniqueFd pidfd(openPidfd(listed.processID));
    if (!pidfd)
        return false; // ended since the listing
    ProcessEntry now;
    std::uint32_t owner = 0;
    if (!inspect(listed.processID, now, owner))
        return false;
    if (now.kernelThread || now.processName != listed.processName || owner != m_userID)
        return false;
    return sendSigkill(pidfd.get());
}

} // namespace forbidden
