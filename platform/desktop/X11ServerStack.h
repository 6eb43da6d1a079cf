// The X server's stacking of top-level windows as the agent last learnt it: the root's children
// bottom to top with where each lies and whether it is mapped, the top-level (a manager's frame, or
// the window itself) that holds each agent window, and what the manager says of each agent window
// (its desktop, whether it is minimised, below or hidden) and of the desktop it shows. Read from the
// server once, then kept from the structure and property events of the root and of the agent's
// windows (a changed property is read again without waiting for the answer), so keeping the
// agent's levels asks the server nothing. Main thread only, on a connection that gets every event
// (Qt's own folds a burst of configure events about one window's children into the last).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include <xcb/xcb.h>

namespace desktop::x11 {

class ServerStack {
public:
    struct Child {
        bool mapped = false;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    // What the window manager says of an agent window in its EWMH properties.
    struct ManagerState {
        static constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
        static constexpr std::uint32_t kNoDesktop = 0xFFFFFFFE; // not said (yet)
        std::uint32_t desktop = kNoDesktop;
        bool below = false;
        bool hidden = false;
        bool iconic = false; // minimised, as the window's WM_STATE says
    };

    // Reads the root's children and their state: one wait for the server, when the watch begins.
    void read(xcb_connection_t* c, std::uint32_t root);
    bool isRead() const { return m_root != 0; }

    // Takes in one event of Qt's connection; true when it may have changed the stacking of a
    // top-level window, so the agent's levels want another look.
    bool handle(const xcb_generic_event_t* event);
    // Takes in the answers that have come to the property reads asked so far, without waiting for
    // the others; true when one changed what the manager says of a window.
    bool takeAnswers();
    std::size_t readsPending() const { return m_reads.size(); }
    // What the manager says of an agent window (watched since topLevelOf), read again whenever it
    // changes; null until the first answer.
    const ManagerState* managerState(std::uint32_t window) const;
    // The desktop the manager shows (ManagerState::kNoDesktop until it says).
    std::uint32_t currentDesktop() const { return m_currentDesktop; }

    // The atoms of the manager's properties and requests, read with the stacking.
    struct Atoms {
        std::uint32_t icccmState = 0; // WM_STATE
        std::uint32_t wmState = 0;    // _NET_WM_STATE
        std::uint32_t wmDesktop = 0;
        std::uint32_t stateBelow = 0;
        std::uint32_t stateHidden = 0;
        std::uint32_t currentDesktop = 0;
        std::uint32_t activeWindow = 0;
    };
    const Atoms& atoms() const { return m_atoms; }

    // The root's children, bottom first.
    const std::vector<std::uint32_t>& order() const { return m_order; }
    // Where a child of the root lies and whether it is mapped; null for another window.
    const Child* child(std::uint32_t window) const;
    // The child of the root that holds window. Asked of the server only the first time a window is
    // seen (and when its frame went away unseen), when its own events are asked for too; afterwards
    // its reparenting keeps the answer.
    std::uint32_t topLevelOf(xcb_connection_t* c, std::uint32_t window);
    // The transient hints the agent declared, by window (0: none); a window Qt cleared the hint of
    // leaves, so the next look declares it again.
    std::unordered_map<std::uint32_t, std::uint32_t>& transientFor() { return m_transientFor; }

private:
    struct PropertyRead {
        std::uint32_t window;
        std::uint32_t atom;
        unsigned int sequence;
    };
    bool stale(const xcb_generic_event_t* event);
    void askProperty(std::uint32_t window, std::uint32_t atom);
    void place(std::uint32_t window, std::optional<std::uint32_t> above); // nullopt: on top
    void remove(std::uint32_t window);
    void frameReparented(std::uint32_t window, std::uint32_t parent);

    std::uint32_t m_root = 0;
    std::vector<std::uint32_t> m_order;
    std::unordered_map<std::uint32_t, Child> m_children;
    std::unordered_map<std::uint32_t, std::uint32_t> m_frames; // agent window -> its top-level
    std::unordered_map<std::uint32_t, std::uint32_t> m_transientFor;
    std::unordered_set<std::uint32_t> m_watched; // agent windows whose own events are asked for
    std::unordered_map<std::uint32_t, ManagerState> m_managerStates;
    std::deque<PropertyRead> m_reads; // asked, in the order the answers come
    xcb_connection_t* m_connection = nullptr;
    Atoms m_atoms;
    std::uint32_t m_currentDesktop = ManagerState::kNoDesktop;
    // The sequence number of the read: events older than it are already in what was read.
    std::optional<std::uint16_t> m_readSequence;
};

} // namespace desktop::x11
