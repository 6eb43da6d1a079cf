// The desktop's workspace services (open a URL in the browser, reveal a folder). The desktop layer
// installs the real handlers; without one, a call is logged and answers false. Tests install
// recorders.
#pragma once

#include <functional>
#include <string>

namespace platform {

struct WorkspaceHandlers {
    std::function<bool(const std::string& url)> openURL;
    std::function<bool(const std::string& path)> revealFolder;
};

void setWorkspaceHandlers(WorkspaceHandlers handlers);
bool openURL(const std::string& url);
bool revealFolder(const std::string& path);

} // namespace platform
