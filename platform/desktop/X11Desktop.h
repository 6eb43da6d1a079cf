// What the agent asks of the X server itself, behind one seam: whether a display answers at all,
// whether a compositing manager runs, and the stacking of top-level windows, which a window
// manager may change behind the agent's back (a click raises a window, a taskbar restacks).
// displayProblem() may run before any Qt object exists; the rest runs on the main thread on Qt's
// own connection and does nothing on other platforms.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace desktop::x11 {

// True when Qt draws through an X server (the xcb platform).
bool active();

// Empty when an X server accepts a connection at DISPLAY; otherwise why not, in a few words (with
// a refusing server's own reason). Standard error is borrowed for the moment of the connect: call it
// while no other thread writes there (the start of main).
std::string displayProblem();

// True when a compositing manager owns the compositor selection of the default screen.
bool compositorRunning();

// Keeps the agent's windows in the given order, bottom to top. `bypassesManager(w)` tells which
// windows the window manager does not manage: those are placed directly, the others are raised
// through the manager in order. Does nothing when the server already shows that order and no
// window of another program covers a window placed directly.
void keepStackingOrder(const std::vector<QWidget*>& bottomToTop,
                       const std::function<bool(QWidget*)>& bypassesManager);

// Calls `changed` on the main thread, at most once per pass of the event loop, whenever a
// top-level window is mapped, unmapped or restacked by anyone. Installing again replaces it.
void watchStacking(std::function<void()> changed);

// The top-level windows as the server stacks them, bottom to top; each agent window is reported
// as the child of the root that holds it (the manager's frame around it, or itself).
std::vector<std::uint32_t> serverStacking();
std::uint32_t topLevelWindowOf(const QWidget* window);

} // namespace desktop::x11
