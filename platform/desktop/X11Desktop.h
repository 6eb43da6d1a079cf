// The X11 work on the agent's windows, behind one seam: whether a compositing manager runs, a
// window hidden before the screen is read, and the stacking of top-level windows, which a window
// manager may change behind the agent's back (a click raises a window, a taskbar restacks). All of
// it runs on the main thread and does nothing on other platforms. Requests go on Qt's own
// connection; the stacking is watched on one of its own, opened (and its problems told) like every
// other connection by platform::X11Display.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace platform {
class X11InstanceSelection;
}

namespace desktop::x11 {

// True when Qt draws through an X server (the xcb platform).
bool active();

// True when a compositing manager owns the compositor selection of the default screen.
bool compositorRunning();

// Hides the window and returns once the X server has handled everything asked so far, so a picture
// of the screen taken next no longer holds it (without a compositor a see-through window would
// otherwise be in it). Just hides it off X11.
void hideAndWaitForServer(QWidget* window);

// Keeps the agent's windows in the given order, bottom to top. `bypassesManager(w)` tells which
// windows the window manager does not manage: those are placed directly, the others are raised
// through the manager in order. Does nothing when the server already shows that order and no
// window of another program covers a window placed directly.
void keepStackingOrder(const std::vector<QWidget*>& bottomToTop,
                       const std::function<bool(QWidget*)>& bypassesManager);

// Calls `changed` on the main thread, at most once per pass of the event loop, whenever a
// top-level window is mapped, unmapped or restacked by anyone, or an agent window lost a transient
// hint it was given. Installing again replaces it. The first call reads the server's stacking,
// which the events keep from then on: keepStackingOrder asks the server nothing.
void watchStacking(std::function<void()> changed);

// Declares window transient for parent (null: for none), so the manager keeps it above parent
// whatever parent does: raised, focused, or taken for a full-screen window. Writes only a change,
// unless renew: then the hint goes out again as it is, so the manager reads it anew. True when it
// was written.
bool declareTransientFor(QWidget* window, QWidget* parent, bool renew = false);

// Calls `asked` on the main thread, once per pass of the event loop that read any, whenever another
// start of the agent asks through `selection` for this one's windows. Requests that came before
// are answered at once. The selection must outlive the application.
void watchForwardRequests(platform::X11InstanceSelection& selection, std::function<void()> asked);

// Keeps a managed window above backdrop within the student's reach, as far as the window manager
// lets a program ask: on the desktop the manager shows (the backdrop too), neither below other
// windows nor hidden, mapped, and on the screen. True when the manager minimised it there, which
// the caller answers (restoreMinimized, or a minimise of the window's own). Asks the server
// nothing: what it knows of the window comes from events.
bool keepWithinReach(QWidget* window, QWidget* backdrop);
// Whether the manager says it minimised the window (its WM_STATE), which Qt may not have learnt yet.
bool minimizedByManager(const QWidget* window);
// Asks the manager to show a window it minimised.
void restoreMinimized(QWidget* window);

// The top-level windows as the server stacks them now, bottom to top (asked of the server); each
// agent window is reported as the child of the root that holds it (the manager's frame around it,
// or itself).
std::vector<std::uint32_t> serverStacking();
std::uint32_t topLevelWindowOf(const QWidget* window);

} // namespace desktop::x11
