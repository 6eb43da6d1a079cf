#include "platform/BaseFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

// A relative value is ignored, as the rules ask; HOME unset (a service) falls back to the user
// database, and a user without one to /tmp.
std::string baseFolder(const char* variable, const char* underHome) {
    const char* xdg = std::getenv(variable);
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/" + underHome;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return std::string(pw->pw_dir) + "/" + underHome;
    return std::string("/tmp/") + underHome;
}

} // namespace

std::string configHome() {
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

std::string stateHome() {
    return baseFolder("XDG_STATE_HOME", ".local/state");
}

} // namespace platform
