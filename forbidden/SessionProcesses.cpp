#include "forbidden/SessionProcesses.h"

#include <algorithm>
#include <cctype>

namespace forbidden {
namespace {

// The kernel keeps 15 bytes of a process's short name.
constexpr std::size_t kShortNameBytes = 15;

void addName(std::vector<std::string>& names, std::string name) {
    if (name.size() > kShortNameBytes)
        name.resize(kShortNameBytes);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(std::move(name));
}

} // namespace

const std::vector<std::string>& sessionServiceNames() {
    // "systemd" is the user's service manager (systemd --user); the session bus runs as one of the
    // dbus names ("dbus-broker-launch" cut to the kernel's 15 bytes); the X servers last.
    static const std::vector<std::string> names = {
        "systemd", "dbus-daemon", "dbus-broker", "dbus-broker-lau", "Xorg", "Xwayland", "X"};
    return names;
}

void X11SessionProcesses::sessionKeepers(SessionKeepers& keepers) {
    keepers.processIDs.clear();
    keepers.names = sessionServiceNames();
    if (!m_display || m_display->failed()) {
        std::string error;
        m_display = platform::X11Display::open(m_displayName, error);
    }
    if (!m_display)
        return;
    if (const std::int32_t server = m_display->serverProcessID(); server > 0)
        keepers.processIDs.push_back(server);
    for (std::int32_t manager : m_display->windowManagerProcessIDs())
        keepers.processIDs.push_back(manager);
    // Managers that do not give their process id still give their name ("Openbox" runs as
    // "openbox"): the name as given and its first word in lower case.
    const std::string name = m_display->windowManagerName();
    if (!name.empty()) {
        addName(keepers.names, name);
        std::string word = name.substr(0, name.find(' '));
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        addName(keepers.names, word);
    }
}

} // namespace forbidden
