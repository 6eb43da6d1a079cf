#include "platform/ProcessInfo.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <charconv>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kVersionParts = 3; // major.minor.patch

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

TerminateHook& hook() {
    static TerminateHook h;
    return h;
}

} // namespace

std::string operatingSystemVersionFromRelease(const std::string& release) {
    // A kernel release reads like "6.1.0-18-amd64" or "5.15.0-rc3": take the leading dotted
    // numbers, stop at the first part that is not one, and fill the missing parts with 0.
    unsigned long parts[kVersionParts] = {0, 0, 0};
    const char* p = release.data();
    const char* end = p + release.size();
    for (int i = 0; i < kVersionParts && p < end; ++i) {
        unsigned long value = 0;
        auto [next, ec] = std::from_chars(p, end, value);
        if (next == p)
            break;
        parts[i] = ec == std::errc() ? value : 0;
        p = next;
        if (p >= end || *p != '.')
            break;
        ++p;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

std::string operatingSystemVersion() {
    struct utsname name {};
    if (uname(&name) != 0) {
        logf("[ZQ]uname failed; reporting version 0.0.0");
        return "0.0.0";
    }
    return operatingSystemVersionFromRelease(name.release);
}

void setTerminateHook(TerminateHook next) {
    std::lock_guard<std::mutex> lock(hookMutex());
    hook() = std::move(next);
}

void terminate(int status) {
    TerminateHook current;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        current = hook();
    }
    if (current) {
        current(status);
        return;
    }
    flushLog();
    UserDefaults::synchronizeAll();
    // _exit, not exit: receive and capture threads are still running, and static destructors
    // would tear down the objects under them.
    _exit(status);
}

} // namespace platform
