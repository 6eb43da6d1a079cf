#include "startup/SdBusPowerBackend.h"

#include "platform/Log.h"

#include <cerrno>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace startup {
namespace {

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kInhibitWhatIdle = "idle";
constexpr const char* kInhibitModeBlock = "block";

constexpr const char* kScreenSaverService = "org.freedesktop.ScreenSaver";
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kScreenSaverInterface = "org.freedesktop.ScreenSaver";

constexpr int kFirstNonStandardFd = 3;

} // namespace

struct SdBusPowerBackend::Bus {
    sd_bus* bus = nullptr;
    ~Bus() {
        if (bus)
            sd_bus_flush_close_unref(bus);
    }
};

SdBusPowerBackend::SdBusPowerBackend() = default;

SdBusPowerBackend::~SdBusPowerBackend() {
    for (auto& [id, fd] : m_inhibitorFds)
        close(fd);
    if (m_sessionBus) {
        for (auto& [id, cookie] : m_screenSaverCookies)
            sd_bus_call_method(m_sessionBus->bus, kScreenSaverService, kScreenSaverPath,
                               kScreenSaverInterface, "UnInhibit", nullptr, nullptr, "u", cookie);
    }
}

int SdBusPowerBackend::createAssertion(const std::string& type, int level, const std::string& name,
                                       AssertionID& id) {
    if (level != PowerAssertions::kAssertionLevelOn)
        return -EINVAL;
    if (type == PowerAssertions::kNoIdleSleepAssertion)
        return inhibitIdle(name, id);
    if (type == PowerAssertions::kNoDisplaySleepAssertion)
        return inhibitDisplay(name, id);
    return -EINVAL;
}

int SdBusPowerBackend::inhibitIdle(const std::string& name, AssertionID& id) {
    Bus system;
    int r = sd_bus_open_system(&system.bus);
    if (r < 0)
        return r;
    sd_bus_set_method_call_timeout(system.bus, kCallTimeoutMicroseconds);
    sd_bus_error error{}; // all empty, as SD_BUS_ERROR_NULL gives it without a C compound literal
    sd_bus_message* reply = nullptr;
    r = sd_bus_call_method(system.bus, kLogindService, kLogindPath, kLogindManager, "Inhibit", &error, &reply,
                           "ssss", kInhibitWhatIdle, kWho, name.c_str(), kInhibitModeBlock);
    if (r < 0) {
        platform::logf("[ZQ]logind Inhibit failed: %s", error.message ? error.message : "no answer");
        sd_bus_error_free(&error);
        return r;
    }
    int fd = -1;
    r = sd_bus_message_read(reply, "h", &fd);
    // The descriptor belongs to the reply; the inhibitor lasts as long as our own copy is open.
    const int kept = r < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, kFirstNonStandardFd);
    sd_bus_message_unref(reply);
    if (r < 0)
        return r;
    if (kept < 0)
        return -errno;
    id = m_nextId++;
    m_inhibitorFds[id] = kept;
    return 0;
}

int SdBusPowerBackend::inhibitDisplay(const std::string& name, AssertionID& id) {
    if (!m_sessionBus) {
        auto session = std::make_unique<Bus>();
        const int r = sd_bus_open_user(&session->bus);
        if (r < 0)
            return r;
        sd_bus_set_method_call_timeout(session->bus, kCallTimeoutMicroseconds);
        m_sessionBus = std::move(session);
    }
    sd_bus_error error{}; // all empty, as SD_BUS_ERROR_NULL gives it without a C compound literal
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(m_sessionBus->bus, kScreenSaverService, kScreenSaverPath,
                               kScreenSaverInterface, "Inhibit", &error, &reply, "ss", kWho, name.c_str());
    if (r < 0) {
        platform::logf("[ZQ]ScreenSaver Inhibit failed: %s", error.message ? error.message : "no answer");
        sd_bus_error_free(&error);
        return r;
    }
    std::uint32_t cookie = 0;
    r = sd_bus_message_read(reply, "u", &cookie);
    sd_bus_message_unref(reply);
    if (r < 0)
        return r;
    id = m_nextId++;
    m_screenSaverCookies[id] = cookie;
    return 0;
}

void SdBusPowerBackend::releaseAssertion(AssertionID id) {
    if (auto it = m_inhibitorFds.find(id); it != m_inhibitorFds.end()) {
        close(it->second);
        m_inhibitorFds.erase(it);
        return;
    }
    if (auto it = m_screenSaverCookies.find(id); it != m_screenSaverCookies.end()) {
        if (m_sessionBus)
            sd_bus_call_method(m_sessionBus->bus, kScreenSaverService, kScreenSaverPath,
                               kScreenSaverInterface, "UnInhibit", nullptr, nullptr, "u", it->second);
        m_screenSaverCookies.erase(it);
    }
}

} // namespace startup
