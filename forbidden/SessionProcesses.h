// The processes that carry the student's desktop and that no kill pass may end, whatever the
// teacher's list says: the display's X server, the running window manager and compositor, the
// user's service manager and session bus. Asked by the kill pass on the frame thread; an instance
// is used by that one thread.
#pragma once

#include "platform/X11Display.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace forbidden {

struct SessionKeepers {
    std::vector<std::int32_t> processIDs;
    std::vector<std::string> names; // whole short names, compared exactly
};

class SessionProcesses {
public:
    virtual ~SessionProcesses() = default;
    // Fills `keepers` afresh (a window manager may have been replaced since the last pass).
    virtual void sessionKeepers(SessionKeepers& keepers) = 0;
};

// The names under which the user's service manager, the session bus and the X server run.
const std::vector<std::string>& sessionServiceNames();

// Asks the X server the agent is displayed on which process serves it and which processes manage
// its windows, and adds the fixed service names.
class X11SessionProcesses final : public SessionProcesses {
public:
    explicit X11SessionProcesses(std::string displayName = {}) : m_displayName(std::move(displayName)) {}
    void sessionKeepers(SessionKeepers& keepers) override;

private:
    std::string m_displayName;
    std::unique_ptr<platform::X11Display> m_display; // opened at the first pass, again after a loss
};

} // namespace forbidden
