#include "platform/desktop/X11Desktop.h"

#include "platform/Log.h"
#include "platform/X11Display.h"
#include "platform/X11InstanceSelection.h"
#include "platform/desktop/X11ServerStack.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <xcb/xcb.h>

namespace desktop::x11 {
namespace {

// The EWMH selection a compositing manager owns on screen n.
constexpr const char* kCompositorSelectionPrefix = "_NET_WM_CM_S";
// Events of the root window that tell of any top-level window's stacking changing, and of the
// desktop the manager shows.
constexpr std::uint32_t kRootStackingEvents =
    XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
// A managed window is within the student's reach while this much of it, across and down, lies on
// the screen (a grip on the panel's title strip, most of the tab); with less it is moved back wholly
// onto the screen.
constexpr int kReachableSide = 40;
// A manager that minimises a window unmaps it and says so in properties, whose answers may come a
// little after the unmap: a window that is not shown (and not said minimised) is activated only
// once it has stayed so this long, so a minimise is not taken for a show-desktop.
constexpr std::chrono::milliseconds kUnshownSettle{250};
// EWMH: requests on behalf of a pager or taskbar, which managers follow without second-guessing
// the focus, and the actions on a state.
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kRemoveState = 0;
// Client messages to the manager go to the root with these events selected.
constexpr std::uint32_t kToManager =
    XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>; // xcb replies are malloc'ed

template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

xcb_connection_t* connection() {
    if (!active())
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    return screens.rem > 0 ? screens.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

std::vector<xcb_window_t> rootChildren(xcb_connection_t* c, xcb_window_t root) {
    auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

struct Placed {
    QWidget* widget;
    xcb_window_t top;
    bool bypass;
    std::size_t server; // index in the root's children, bottom first
};

// Windows of other programs among `windows` that the server shows on the screen. A manager keeps
// a mapped window of its own off screen (its check window), which covers nothing.
std::set<xcb_window_t> viewable(xcb_connection_t* c, const ServerStack& stack,
                                const std::vector<xcb_window_t>& windows) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    std::set<xcb_window_t> shown;
    for (xcb_window_t w : windows) {
        const ServerStack::Child* child = stack.child(w);
        if (!child || !child->mapped)
            continue;
        if (child->x + child->width > 0 && child->y + child->height > 0 &&
            child->x < screen->width_in_pixels && child->y < screen->height_in_pixels)
            shown.insert(w);
    }
    return shown;
}

// The shown windows of other programs that lie above the lowest agent window.
std::set<xcb_window_t> foreignAbove(xcb_connection_t* c, const ServerStack& stack,
                                    const std::vector<Placed>& placed,
                                    const std::vector<xcb_window_t>& children) {
    std::size_t lowest = children.size();
    std::set<xcb_window_t> agent;
    for (const Placed& p : placed) {
        lowest = std::min(lowest, p.server);
        agent.insert(p.top);
    }
    std::vector<xcb_window_t> others;
    for (std::size_t k = lowest; k < children.size(); ++k) {
        if (agent.count(children[k]) == 0)
            others.push_back(children[k]);
    }
    return viewable(c, stack, others);
}

// Managed windows are in place when they lie in order and no shown window of another program lies
// above the lowest of them.
bool managedWindowsInPlace(const std::vector<Placed>& placed, const std::vector<xcb_window_t>& children,
                           const std::set<xcb_window_t>& foreign) {
    std::size_t lowest = children.size();
    std::size_t last = 0;
    bool any = false;
    for (const Placed& p : placed) {
        if (p.bypass)
            continue;
        if (any && p.server < last)
            return false;
        lowest = std::min(lowest, p.server);
        last = p.server;
        any = true;
    }
    for (std::size_t k = lowest; k < children.size(); ++k) {
        if (foreign.count(children[k]) != 0)
            return false;
    }
    return true;
}

// A directly placed window is in place when every window between it and the next managed agent
// window above it (the top of the stack when there is none) is an agent window meant to lie there,
// or not shown; and it lies above the agent window before it.
bool bypassWindowsInPlace(const std::vector<Placed>& placed, const std::vector<xcb_window_t>& children,
                          const std::set<xcb_window_t>& foreign) {
    std::map<xcb_window_t, std::size_t> rank; // agent top-levels by their place in the wanted order
    for (std::size_t i = 0; i < placed.size(); ++i)
        rank[placed[i].top] = i;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (!placed[i].bypass)
            continue;
        if (i > 0 && placed[i - 1].server > placed[i].server)
            return false;
        std::size_t limit = children.size();
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            if (!placed[j].bypass) {
                limit = placed[j].server;
                break;
            }
        }
        if (placed[i].server >= limit)
            return false;
        for (std::size_t k = placed[i].server + 1; k < limit; ++k) {
            auto agent = rank.find(children[k]);
            if (agent != rank.end() ? agent->second < i : foreign.count(children[k]) != 0)
                return false;
        }
    }
    return true;
}

// The manager answers a round of raises one request at a time; a look in the middle would see a
// half-done order and ask again, and a manager that never gives in (another program insisting on
// the top) would be asked at the rate of its answers. So a round of raises waits kRaiseSettle for
// the answers, and one more look follows it then, whatever events come or do not come.
constexpr std::chrono::milliseconds kRaiseSettle{100};

// An EWMH request about window to the manager.
void askManager(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                std::array<std::uint32_t, 5> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(c, 0, root, kToManager, reinterpret_cast<const char*>(&event));
}

// Where a window the agent asked the manager about stood when it asked.
struct ReachAsked {
    ServerStack::ManagerState state;
    std::uint32_t currentDesktop = 0;
    bool mapped = false;
    int x = 0;
    int y = 0;
    bool operator==(const ReachAsked& o) const {
        return state.desktop == o.state.desktop && state.below == o.state.below &&
               state.hidden == o.state.hidden && state.iconic == o.state.iconic &&
               currentDesktop == o.currentDesktop && mapped == o.mapped && x == o.x && y == o.y;
    }
};

// How far a span from `at` of `length` lies on [0, side), and where it lies wholly on it.
int onScreen(int at, int length, int side) {
    return std::min(at + length, side) - std::max(at, 0);
}
int placedOnScreen(int at, int length, int side) {
    return std::max(0, std::min(at, side - length));
}

class RaisePacer {
public:
    // True when a round may go now; otherwise a look is queued for when it may.
    bool mayRaise(const std::function<void()>& lookAgain) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastRound >= kRaiseSettle) {
            m_lastRound = now;
            scheduleLook(kRaiseSettle, lookAgain);
            return true;
        }
        scheduleLook(std::chrono::duration_cast<std::chrono::milliseconds>(m_lastRound + kRaiseSettle - now),
                     lookAgain);
        return false;
    }

private:
    void scheduleLook(std::chrono::milliseconds after, const std::function<void()>& lookAgain) {
        if (m_lookScheduled || !lookAgain)
            return;
        m_lookScheduled = true;
        auto* timer = new QTimer(QCoreApplication::instance()); // goes with the application at the latest
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, lookAgain] {
            m_lookScheduled = false;
            timer->deleteLater();
            lookAgain();
        });
        // An application that goes first takes the timer with it: the next one may schedule again.
        QObject::connect(timer, &QObject::destroyed, [this] { m_lookScheduled = false; });
        timer->start(after);
    }

    std::chrono::steady_clock::time_point m_lastRound{};
    bool m_lookScheduled = false;
};

// The stacking as the server shows it, kept from the structure events of a connection of its own:
// Qt folds a burst of ConfigureNotify events about the children of one window into the last of
// them, and every restack of a top-level window is such an event about the root; the kept order
// needs each one.
class StackingWatcher {
public:
    std::function<void()> changed;
    std::unique_ptr<platform::X11Display> display;
    ServerStack stack;
    QPointer<QSocketNotifier> notifier;

    xcb_connection_t* connection() const {
        return display && !display->failed() ? display->connection() : nullptr;
    }

    // Takes in every event that has come; a change makes one look per pass of the event loop,
    // however many windows moved in a burst.
    void drain() {
        xcb_connection_t* c = connection();
        if (!c)
            return;
        bool moved = false;
        // Reading an answer may read events behind it, and an event may ask for a property: both
        // until neither has more.
        for (bool more = true; more;) {
            more = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                moved = stack.handle(event) || moved;
                std::free(event);
                more = true;
            }
            const std::size_t asked = stack.readsPending();
            moved = stack.takeAnswers() || moved;
            more = more || stack.readsPending() < asked;
        }
        if (!moved || m_pending || !changed)
            return;
        m_pending = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this] {
                m_pending = false;
                if (changed)
                    changed();
            },
            Qt::QueuedConnection);
    }

    // A look queued on an application that went away never ran.
    void forgetPending() { m_pending = false; }

    std::unordered_map<xcb_window_t, ReachAsked> reachAsked;
    // Since when an agent window above a backdrop has not been shown.
    std::unordered_map<xcb_window_t, std::chrono::steady_clock::time_point> unshownSince;

    // One more look after `delay`, whatever events come or do not come.
    void lookAgainAfter(std::chrono::milliseconds delay) {
        if (m_lookScheduled)
            return;
        m_lookScheduled = true;
        QTimer::singleShot(delay, QCoreApplication::instance(), [this] {
            m_lookScheduled = false;
            if (changed)
                changed();
        });
    }

private:
    bool m_pending = false;
    bool m_lookScheduled = false;
};

StackingWatcher*& watcher() {
    static StackingWatcher* instance = nullptr; // made once, kept for the life of the process
    return instance;
}

// The application the watcher watches for (a test may make a second one, on another server).
QCoreApplication*& watchedApplication() {
    static QCoreApplication* application = nullptr;
    return application;
}

} // namespace

bool active() {
    return qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb");
}

bool compositorRunning() {
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const std::string name = std::string(kCompositorSelectionPrefix) + "0";
    auto atom = reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    auto owner = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

void hideAndWaitForServer(QWidget* window) {
    window->hide();
    xcb_connection_t* c = connection();
    if (!c)
        return; // no X server (offscreen, Wayland): nothing can see the window in a picture
    // A round trip: the reply comes only after the server has handled the unmap sent before it.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::vector<std::uint32_t> serverStacking() {
    xcb_connection_t* c = connection();
    return c ? rootChildren(c, rootWindow(c)) : std::vector<std::uint32_t>{};
}

std::uint32_t topLevelWindowOf(const QWidget* window) {
    if (!window || !window->internalWinId() || !watcher() || !watcher()->connection())
        return XCB_WINDOW_NONE;
    return watcher()->stack.topLevelOf(watcher()->connection(),
                                       static_cast<xcb_window_t>(window->internalWinId()));
}

void keepStackingOrder(const std::vector<QWidget*>& bottomToTop,
                       const std::function<bool(QWidget*)>& bypassesManager) {
    xcb_connection_t* c = connection();
    if (!c || !watcher() || !watcher()->connection() || !watcher()->stack.isRead())
        return;
    watcher()->drain(); // what the server told since the last pass, before looking
    ServerStack& stack = watcher()->stack;
    xcb_connection_t* watching = watcher()->connection();
    const std::vector<xcb_window_t>& children = stack.order();
    std::unordered_map<xcb_window_t, std::size_t> position;
    for (std::size_t i = 0; i < children.size(); ++i)
        position[children[i]] = i;
    std::vector<Placed> placed;
    for (QWidget* widget : bottomToTop) {
        if (!widget->internalWinId() || !widget->isVisible())
            continue;
        const xcb_window_t top =
            stack.topLevelOf(watching, static_cast<xcb_window_t>(widget->internalWinId()));
        auto at = position.find(top);
        if (at != position.end())
            placed.push_back({widget, top, bypassesManager(widget), at->second});
    }

    const std::set<xcb_window_t> foreign = foreignAbove(c, stack, placed, children);

    // Managed windows: the manager owns the stacking, so ask it to raise them bottom to top. Its
    // answer comes back as restacks of the root's children, and with them another look.
    static RaisePacer pacer;
    if (!managedWindowsInPlace(placed, children, foreign) &&
        pacer.mayRaise(watcher() ? watcher()->changed : std::function<void()>())) {
        for (const Placed& p : placed) {
            if (!p.bypass)
                p.widget->raise();
        }
    }

    // Windows the manager leaves alone: each goes right below the next managed agent window above
    // it, or to the very top, bottom first, so later ones end above earlier ones.
    if (bypassWindowsInPlace(placed, children, foreign)) {
        watcher()->drain(); // events read while a new window's frame was asked for
        return;
    }
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (!placed[i].bypass)
            continue;
        xcb_window_t below = XCB_WINDOW_NONE;
        for (std::size_t j = i + 1; j < placed.size() && below == XCB_WINDOW_NONE; ++j) {
            if (!placed[j].bypass)
                below = placed[j].top;
        }
        if (below != XCB_WINDOW_NONE) {
            const std::uint32_t values[] = {below, XCB_STACK_MODE_BELOW};
            xcb_configure_window(c, placed[i].top, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE,
                                 values);
        } else {
            const std::uint32_t values[] = {XCB_STACK_MODE_ABOVE};
            xcb_configure_window(c, placed[i].top, XCB_CONFIG_WINDOW_STACK_MODE, values);
        }
    }
    xcb_flush(c);
    watcher()->drain(); // events read while a new window's frame was asked for
}

void watchStacking(std::function<void()> changed) {
    if (!connection())
        return;
    if (!watcher())
        watcher() = new StackingWatcher;
    watcher()->changed = std::move(changed);
    if (watchedApplication() == QCoreApplication::instance())
        return;
    watchedApplication() = QCoreApplication::instance();
    watcher()->forgetPending();
    // A later application (tests make several) may come at the same address: watch it anew.
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                     [] { watchedApplication() = nullptr; });
    watcher()->stack = ServerStack();
    std::string error;
    watcher()->display = platform::X11Display::open({}, error);
    xcb_connection_t* c = watcher()->connection();
    if (!c) {
        platform::logf("[ZQ]Window levels are not kept: %s", error.c_str());
        return;
    }
    const xcb_window_t root = watcher()->display->screen()->root;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &kRootStackingEvents);
    // Read after the events are asked for, so no change falls between the two.
    watcher()->stack.read(c, root);
    // The notifier goes with the application at the latest.
    watcher()->notifier =
        new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(watcher()->notifier, &QSocketNotifier::activated, [] { watcher()->drain(); });
    watcher()->drain(); // events read while waiting for the answers above
}

void watchForwardRequests(platform::X11InstanceSelection& selection, std::function<void()> asked) {
    // The notifier goes with the application at the latest.
    auto* notifier =
        new QSocketNotifier(selection.fileDescriptor(), QSocketNotifier::Read, QCoreApplication::instance());
    const auto read = [&selection, notifier, asked = std::move(asked)] {
        const int requests = selection.takeForwardRequests();
        // A broken connection stays readable for ever: it is no longer watched.
        if (!selection.holds() && notifier->isEnabled())
            notifier->setEnabled(false);
        if (requests > 0 && asked)
            asked();
    };
    QObject::connect(notifier, &QSocketNotifier::activated, read);
    read();
}

namespace {

bool onDesktop(const ServerStack::ManagerState& state, std::uint32_t desktop) {
    using State = ServerStack::ManagerState;
    return desktop == State::kNoDesktop || state.desktop == State::kNoDesktop ||
           state.desktop == State::kAllDesktops || state.desktop == desktop;
}

// Asks the manager about a window (`asking` sends, and tells whether it did) once for each change
// of what the manager says of the window and where it shows it, so a manager that refuses is not
// asked at the rate of its answers. True when something was asked.
bool ask(xcb_connection_t* c, xcb_window_t id, const ReachAsked& now, const std::function<bool()>& asking) {
    auto& asked = watcher()->reachAsked;
    if (auto it = asked.find(id); it != asked.end() && it->second == now)
        return false;
    if (!asking())
        return false;
    // Windows that went leave nothing behind.
    std::erase_if(asked, [](const auto& entry) { return !watcher()->stack.managerState(entry.first); });
    std::erase_if(watcher()->unshownSince,
                  [](const auto& entry) { return !watcher()->stack.managerState(entry.first); });
    asked[id] = now;
    xcb_flush(c);
    return true;
}

} // namespace

bool keepWithinReach(QWidget* window, QWidget* backdrop) {
    xcb_connection_t* c = connection();
    if (!c || !watcher() || !watcher()->connection() || !watcher()->stack.isRead() ||
        !window->internalWinId() || !backdrop->internalWinId() || !window->isVisible())
        return false;
    ServerStack& stack = watcher()->stack;
    xcb_connection_t* watching = watcher()->connection();
    const xcb_window_t root = watcher()->display->screen()->root;
    const ServerStack::Atoms& atoms = stack.atoms();
    const std::uint32_t desktop = stack.currentDesktop();
    auto sendToDesktop = [&](xcb_window_t id) {
        askManager(c, root, id, atoms.wmDesktop, {desktop, kSourcePager, 0, 0, 0});
        return true;
    };

    // A manager may move a window's family with it (openbox moves the window a transient belongs
    // to, and its other transients): the backdrop comes back to the desktop the student is on too.
    const auto boardId = static_cast<xcb_window_t>(backdrop->internalWinId());
    const ServerStack::ManagerState* board = stack.managerState(boardId);
    const ServerStack::Child* boardFrame = stack.child(stack.topLevelOf(watching, boardId));
    if (board && boardFrame && !onDesktop(*board, desktop))
        ask(c, boardId, {*board, desktop, boardFrame->mapped, boardFrame->x, boardFrame->y},
            [&] { return sendToDesktop(boardId); });

    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    const ServerStack::ManagerState* mine = stack.managerState(id);
    const ServerStack::Child* frame = stack.child(stack.topLevelOf(watching, id));
    if (!mine || !frame)
        return false; // the manager has not said yet: its answer makes another look
    const bool here = onDesktop(*mine, desktop);
    // Minimised on the desktop the student sees: the caller decides (the panel goes into its tab).
    if (here && mine->iconic)
        return true;
    const xcb_screen_t* screen = watcher()->display->screen();
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    const bool offScreen =
        onScreen(frame->x, frame->width, width) < std::min(kReachableSide, frame->width) ||
        onScreen(frame->y, frame->height, height) < std::min(kReachableSide, frame->height);
    bool unshown = here && (!frame->mapped || mine->hidden);
    if (unshown) {
        const auto now = std::chrono::steady_clock::now();
        const auto since = watcher()->unshownSince.try_emplace(id, now).first->second;
        if (now - since < kUnshownSettle) {
            watcher()->lookAgainAfter(
                std::chrono::ceil<std::chrono::milliseconds>(since + kUnshownSettle - now));
            unshown = false;
        }
    } else {
        watcher()->unshownSince.erase(id);
    }
    if (here && !mine->below && !offScreen && !unshown)
        return false;
    ask(c, id, {*mine, desktop, frame->mapped, frame->x, frame->y}, [&] {
        if (!here)
            return sendToDesktop(id); // the rest once it is back
        if (mine->below)
            askManager(c, root, id, atoms.wmState, {kRemoveState, atoms.stateBelow, 0, kSourcePager, 0});
        // Shown by the agent on the desktop the manager shows, yet not mapped (hidden, or the
        // desktop shown in its place): activated, which every manager answers by showing it.
        if (unshown)
            askManager(c, root, id, atoms.activeWindow, {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
        if (offScreen) {
            const std::uint32_t place[] = {
                static_cast<std::uint32_t>(placedOnScreen(frame->x, frame->width, width)),
                static_cast<std::uint32_t>(placedOnScreen(frame->y, frame->height, height))};
            xcb_configure_window(c, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
        }
        return true;
    });
    return false;
}

void restoreMinimized(QWidget* window) {
    xcb_connection_t* c = connection();
    if (!c || !watcher() || !watcher()->connection() || !window->internalWinId())
        return;
    askManager(c, watcher()->display->screen()->root, static_cast<xcb_window_t>(window->internalWinId()),
               watcher()->stack.atoms().activeWindow, {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
    xcb_flush(c);
}

bool minimizedByManager(const QWidget* window) {
    if (!active() || !watcher() || !window->internalWinId())
        return false;
    const ServerStack::ManagerState* state =
        watcher()->stack.managerState(static_cast<xcb_window_t>(window->internalWinId()));
    return state && state->iconic;
}

bool declareTransientFor(QWidget* window, QWidget* parent, bool renew) {
    xcb_connection_t* c = connection();
    if (!c || !watcher() || !window->internalWinId())
        return false;
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    const auto parentId = parent && parent->internalWinId()
                              ? static_cast<xcb_window_t>(parent->internalWinId())
                              : xcb_window_t{XCB_WINDOW_NONE};
    // Qt deletes the hint when it shows the window and a manager reads it when it takes the window:
    // the window's own events are watched from the first hint on, so both are seen.
    if (watcher()->connection())
        watcher()->stack.topLevelOf(watcher()->connection(), id);
    auto& declared = watcher()->stack.transientFor();
    auto it = declared.find(id);
    const xcb_window_t now = it == declared.end() ? xcb_window_t{XCB_WINDOW_NONE} : it->second;
    if (now == parentId && !(renew && parentId != XCB_WINDOW_NONE))
        return false; // a change makes the manager restack: only real changes go out
    if (parentId == XCB_WINDOW_NONE) {
        xcb_delete_property(c, id, XCB_ATOM_WM_TRANSIENT_FOR);
        declared.erase(id);
    } else {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                            &parentId);
        declared[id] = parentId;
    }
    xcb_flush(c);
    return true;
}

} // namespace desktop::x11
