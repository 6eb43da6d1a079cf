#include "platform/Workspace.h"

#include "platform/Log.h"

#include <mutex>

namespace platform {
namespace {

std::mutex& handlersMutex() {
    static std::mutex m;
    return m;
}

WorkspaceHandlers& handlers() {
    static WorkspaceHandlers h;
    return h;
}

} // namespace

void setWorkspaceHandlers(WorkspaceHandlers next) {
    std::lock_guard<std::mutex> lock(handlersMutex());
    handlers() = std::move(next);
}

bool openURL(const std::string& url) {
    std::function<bool(const std::string&)> handler;
    {
        std::lock_guard<std::mutex> lock(handlersMutex());
        handler = handlers().openURL;
    }
    if (!handler) {
        logf("[ZQ]no workspace handler to open URL %s", url.c_str());
        return false;
    }
    return handler(url);
}

bool revealFolder(const std::string& path) {
    std::function<bool(const std::string&)> handler;
    {
        std::lock_guard<std::mutex> lock(handlersMutex());
        handler = handlers().revealFolder;
    }
    if (!handler) {
        logf("[ZQ]no workspace handler to reveal folder %s", path.c_str());
        return false;
    }
    return handler(path);
}

} // namespace platform
