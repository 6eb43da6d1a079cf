#include "platform/desktop/X11ServerStack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply: an answer taken without waiting

namespace desktop::x11 {
namespace {

// The high bit of an event's type marks events sent by a client (SendEvent).
constexpr std::uint8_t kSentEventBit = 0x80;
// A window that came back to the root tells where it lies, not its size: taken as a point there
// until its next configure tells more.
constexpr int kUnknownSide = 1;
// What an agent window tells of itself: being reparented or destroyed, and its properties.
constexpr std::uint32_t kAgentWindowEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
// More states than any manager sets at once.
constexpr std::uint32_t kMostStates = 32;
// ICCCM WM_STATE of a minimised window.
constexpr std::uint32_t kIconicState = 3;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>; // xcb replies are malloc'ed

template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

std::uint32_t internAtom(xcb_connection_t* c, const char* name) {
    auto atom = reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return atom ? atom->atom : std::uint32_t{XCB_ATOM_NONE};
}

} // namespace

void ServerStack::read(xcb_connection_t* c, std::uint32_t root) {
    m_connection = c;
    m_atoms.icccmState = internAtom(c, "WM_STATE");
    m_atoms.wmState = internAtom(c, "_NET_WM_STATE");
    m_atoms.wmDesktop = internAtom(c, "_NET_WM_DESKTOP");
    m_atoms.stateBelow = internAtom(c, "_NET_WM_STATE_BELOW");
    m_atoms.stateHidden = internAtom(c, "_NET_WM_STATE_HIDDEN");
    m_atoms.currentDesktop = internAtom(c, "_NET_CURRENT_DESKTOP");
    m_atoms.activeWindow = internAtom(c, "_NET_ACTIVE_WINDOW");
    askProperty(root, m_atoms.currentDesktop);
    const xcb_query_tree_cookie_t treeCookie = xcb_query_tree(c, root);
    auto tree = reply(xcb_query_tree_reply(c, treeCookie, nullptr));
    if (!tree)
        return;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    for (int i = 0; i < count; ++i) {
        attributeCookies.push_back(xcb_get_window_attributes(c, children[i]));
        geometryCookies.push_back(xcb_get_geometry(c, children[i]));
    }
    m_root = root;
    m_readSequence = static_cast<std::uint16_t>(treeCookie.sequence);
    m_order.assign(children, children + count);
    m_children.clear();
    for (int i = 0; i < count; ++i) {
        auto attributes = reply(xcb_get_window_attributes_reply(c, attributeCookies[i], nullptr));
        auto geometry = reply(xcb_get_geometry_reply(c, geometryCookies[i], nullptr));
        Child child;
        child.mapped = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
        if (geometry)
            child = {child.mapped, geometry->x, geometry->y, geometry->width, geometry->height};
        m_children[children[i]] = child;
    }
}

bool ServerStack::stale(const xcb_generic_event_t* event) {
    if (!m_readSequence)
        return false;
    // Events carry the low 16 bits of the last request the server had handled when it made them.
    if (static_cast<std::int16_t>(static_cast<std::uint16_t>(event->sequence - *m_readSequence)) < 0)
        return true;
    m_readSequence.reset(); // events come in order: every later one is newer too
    return false;
}

void ServerStack::askProperty(std::uint32_t window, std::uint32_t atom) {
    if (!m_connection || atom == XCB_ATOM_NONE)
        return;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(m_connection, 0, window, atom, XCB_ATOM_ANY, 0, kMostStates);
    m_reads.push_back({window, atom, cookie.sequence});
    xcb_flush(m_connection);
}

bool ServerStack::takeAnswers() {
    bool changed = false;
    while (!m_reads.empty()) {
        const PropertyRead read = m_reads.front();
        void* answer = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(m_connection, read.sequence, &answer, &error) == 0)
            break; // the rest come after this one
        m_reads.pop_front();
        std::free(error); // the window went meanwhile: its end is told by its own event
        auto property = reply(static_cast<xcb_get_property_reply_t*>(answer));
        const auto* values =
            property ? static_cast<const std::uint32_t*>(xcb_get_property_value(property.get())) : nullptr;
        const int length =
            property && property->format == 32 ? xcb_get_property_value_length(property.get()) : 0;
        if (property && read.window == m_root) {
            const std::uint32_t before = m_currentDesktop;
            m_currentDesktop = length >= 4 ? values[0] : ManagerState::kNoDesktop;
            changed = changed || m_currentDesktop != before;
            continue;
        }
        if (!property || m_watched.count(read.window) == 0)
            continue;
        ManagerState& state = m_managerStates[read.window];
        const ManagerState before = state;
        if (read.atom == m_atoms.wmDesktop) {
            state.desktop = length >= 4 ? values[0] : ManagerState::kNoDesktop;
        } else if (read.atom == m_atoms.icccmState) {
            state.iconic = length >= 4 && values[0] == kIconicState;
        } else {
            state.below = false;
            state.hidden = false;
            for (int i = 0; i < length / 4; ++i) {
                state.below = state.below || values[i] == m_atoms.stateBelow;
                state.hidden = state.hidden || values[i] == m_atoms.stateHidden;
            }
        }
        changed = changed || state.desktop != before.desktop || state.below != before.below ||
                  state.hidden != before.hidden || state.iconic != before.iconic;
    }
    return changed;
}

const ServerStack::ManagerState* ServerStack::managerState(std::uint32_t window) const {
    auto it = m_managerStates.find(window);
    return it == m_managerStates.end() ? nullptr : &it->second;
}

const ServerStack::Child* ServerStack::child(std::uint32_t window) const {
    auto it = m_children.find(window);
    return it == m_children.end() ? nullptr : &it->second;
}

void ServerStack::place(std::uint32_t window, std::optional<std::uint32_t> above) {
    std::erase(m_order, window);
    if (above && *above == XCB_WINDOW_NONE) {
        m_order.insert(m_order.begin(), window);
        return;
    }
    auto sibling = above ? std::find(m_order.begin(), m_order.end(), *above) : m_order.end();
    m_order.insert(sibling == m_order.end() ? m_order.end() : sibling + 1, window);
}

void ServerStack::remove(std::uint32_t window) {
    std::erase(m_order, window);
    m_children.erase(window);
    // Agent windows in a frame that went: asked again when next needed.
    std::erase_if(m_frames,
                  [window](const auto& entry) { return entry.second == window && entry.first != window; });
}

void ServerStack::frameReparented(std::uint32_t window, std::uint32_t parent) {
    // A manager reads the transient hint when it takes a window; a hint written in between is
    // missed by managers that do not yet watch the window, and a hint naming a window they do not
    // manage yet may be dropped. Every hint goes out again once a window is taken.
    if (parent != m_root)
        m_transientFor.clear();
    if (parent == m_root)
        m_frames[window] = window;
    else if (m_children.count(parent) != 0)
        m_frames[window] = parent;
    else
        m_frames.erase(window); // deeper in a manager's frames: asked again when next needed
}

std::uint32_t ServerStack::topLevelOf(xcb_connection_t* c, std::uint32_t window) {
    if (auto known = m_frames.find(window); known != m_frames.end())
        return known->second;
    // From now on the window's reparenting, end and transient hint are told here; asked before the
    // walk, so no reparenting falls between the two.
    if (m_watched.insert(window).second) {
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &kAgentWindowEvents);
        askProperty(window, m_atoms.wmDesktop);
        askProperty(window, m_atoms.wmState);
        askProperty(window, m_atoms.icccmState);
    }
    // A manager reparents a window into its frame (maybe several levels deep); the frame is what
    // the root stacks.
    for (xcb_window_t current = window; current != XCB_WINDOW_NONE;) {
        auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            m_frames[window] = current;
            return current;
        }
        current = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

bool ServerStack::handle(const xcb_generic_event_t* event) {
    if (!isRead())
        return false;
    switch (event->response_type & ~kSentEventBit) {
    case XCB_CREATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (e->parent != m_root || stale(event) || m_children.count(e->window) != 0)
            return false;
        m_children[e->window] = {false, e->x, e->y, e->width, e->height};
        m_order.push_back(e->window); // a new window lies above its siblings
        return true;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (e->event != m_root) {
            m_frames.erase(e->window);
            m_transientFor.erase(e->window);
            m_watched.erase(e->window);
            m_managerStates.erase(e->window);
            return false;
        }
        if (stale(event))
            return false;
        remove(e->window);
        return true;
    }
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY: {
        // Both events start with the same fields: the window told, then the window mapped or not.
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        if (e->event != m_root || stale(event))
            return false;
        if (auto it = m_children.find(e->window); it != m_children.end())
            it->second.mapped = (event->response_type & ~kSentEventBit) == XCB_MAP_NOTIFY;
        return true;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (e->event != m_root) {
            frameReparented(e->window, e->parent);
            return true;
        }
        if (stale(event))
            return false;
        if (e->parent != m_root) {
            remove(e->window);
        } else if (m_children.count(e->window) == 0) {
            // Reparenting unmaps a mapped window and maps it again: a MapNotify follows if so.
            m_children[e->window] = {false, e->x, e->y, kUnknownSide, kUnknownSide};
            m_order.push_back(e->window);
        }
        return true;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (e->event != m_root || stale(event))
            return false;
        Child& child = m_children[e->window];
        child = {child.mapped, e->x, e->y, e->width, e->height};
        place(e->window, e->above_sibling);
        return true;
    }
    case XCB_CIRCULATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_circulate_notify_event_t*>(event);
        if (e->event != m_root || stale(event))
            return false;
        if (e->place == XCB_PLACE_ON_TOP)
            place(e->window, std::nullopt);
        else
            place(e->window, std::uint32_t{XCB_WINDOW_NONE});
        return true;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        // Their answers make the look.
        if ((e->atom == m_atoms.wmState || e->atom == m_atoms.wmDesktop || e->atom == m_atoms.icccmState) &&
            m_watched.count(e->window) != 0) {
            askProperty(e->window, e->atom);
            return false;
        }
        if (e->atom == m_atoms.currentDesktop && e->window == m_root) {
            askProperty(e->window, e->atom);
            return false;
        }
        // Qt clears the transient hint of a plain window each time it shows it: declared again then.
        if (e->atom != XCB_ATOM_WM_TRANSIENT_FOR || e->state != XCB_PROPERTY_DELETE)
            return false;
        auto declared = m_transientFor.find(e->window);
        if (declared == m_transientFor.end() || declared->second == XCB_WINDOW_NONE)
            return false;
        m_transientFor.erase(declared);
        return true;
    }
    default:
        return false;
    }
}

} // namespace desktop::x11
