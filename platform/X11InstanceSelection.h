// One agent per X display. The first start owns a selection named for the agent and the screen;
// the X server gives it up the moment that agent's connection ends, however the process ends, so
// nothing stale outlives it. A later start finds it owned, asks the owner's window to bring its
// windows forward, and ends. Main thread: claimed at the start of main, before anything else
// reaches the desktop, and read from the event loop afterwards.
#pragma once

#include "platform/X11Display.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class X11InstanceSelection {
public:
    enum class Claim {
        Owned,         // this start is the display's agent
        HeldByAnother, // another agent runs there and was asked forward
        Failed,        // the server could not be asked
    };

    // Claims the selection `name` + "_S" + screen number on the display (empty name: $DISPLAY).
    // Answers the held selection when owned, null otherwise; `error` says why when it failed.
    static std::unique_ptr<X11InstanceSelection>
    claim(const std::string& displayName, const std::string& name, Claim& result, std::string& error);

    ~X11InstanceSelection() = default;
    X11InstanceSelection(const X11InstanceSelection&) = delete;
    X11InstanceSelection& operator=(const X11InstanceSelection&) = delete;

    // Readable when an event may have come (a forward request, the selection taken away).
    int fileDescriptor() const;
    // Reads every event that came; answers how many forward requests were among them.
    int takeForwardRequests();
    // False once another client took the selection or the connection broke.
    bool holds() const { return m_holds && !m_display->failed(); }

private:
    explicit X11InstanceSelection(std::unique_ptr<X11Display> display) : m_display(std::move(display)) {}

    std::unique_ptr<X11Display> m_display;
    std::uint32_t m_window = 0; // the owner, which receives the forward requests
    std::uint32_t m_forwardType = 0;
    bool m_holds = false;
};

} // namespace platform
