#include "platform/desktop/WindowLevels.h"

#include "platform/desktop/Window.h"
#include "platform/desktop/X11Desktop.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>

namespace desktop {
namespace {

// Keeps a widget that is not a desktop::Window in the stack while it is shown. A Qt child of the
// widget, so it goes when the widget goes.
class StackMembership : public QObject {
public:
    StackMembership(QWidget* window, int level, QWidget* owner)
        : QObject(window), m_window(window), m_level(level), m_owner(owner) {
        window->installEventFilter(this);
    }
    ~StackMembership() override { WindowStack::shared().remove(m_window); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Show)
            WindowStack::shared().orderFront(m_window, m_level, m_owner);
        else if (watched == m_window && event->type() == QEvent::Hide)
            WindowStack::shared().remove(m_window);
        return false;
    }

private:
    QWidget* m_window;
    int m_level;
    QWidget* m_owner;
};

bool bypassesManager(const QWidget* window) {
    return window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
}

// A window the manager minimised over a backdrop could not be found again (the backdrop covers any
// taskbar): it goes its own way or comes back. After the stack's pass, as its own way (the panel
// into its tab) opens and closes windows.
void restoreOverBackdrop(Window* window) {
    QMetaObject::invokeMethod(
        window,
        [guarded = QPointer<Window>(window)] {
            const bool minimized = guarded && (guarded->isMinimized() || x11::minimizedByManager(guarded));
            if (!minimized || !guarded->isVisible() || !WindowStack::shared().standsOverBackdrop(guarded))
                return;
            if (guarded->shouldMiniaturizeOverBackdrop && guarded->shouldMiniaturizeOverBackdrop())
                return;
            // Qt maps a window it knows minimised; one it does not know yet is asked for.
            if (guarded->isMinimized())
                guarded->setWindowState(guarded->windowState() & ~Qt::WindowMinimized);
            else
                x11::restoreMinimized(guarded);
        },
        Qt::QueuedConnection);
}

} // namespace

WindowStack& WindowStack::shared() {
    static WindowStack stack;
    return stack;
}

void WindowStack::orderFront(QWidget* window, int level, QWidget* owner) {
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [window](const Entry& e) { return e.window == window; });
    if (it == m_entries.end())
        m_entries.push_back(Entry{window, level, m_nextRaise++, owner});
    else {
        it->level = level;
        it->raised = m_nextRaise++;
        it->owner = owner;
    }
    restack();
}

void WindowStack::setLevel(QWidget* window, int level) {
    for (auto& entry : m_entries) {
        if (entry.window == window) {
            entry.level = level;
            restack();
            return;
        }
    }
}

void WindowStack::remove(QWidget* window) {
    const bool backdrop = std::any_of(m_entries.begin(), m_entries.end(), [window](const Entry& e) {
        return e.window == window && isBackdrop(e.level);
    });
    std::erase_if(m_entries, [window](const Entry& e) { return e.window == window; });
    if (backdrop && x11::active())
        keepAboveBackdrops(order()); // the windows above it are nobody's transients now
}

void WindowStack::track(QWidget* window, int level, QWidget* owner) {
    new StackMembership(window, level, owner); // owned by window
    if (window->isVisible())
        orderFront(window, level, owner);
}

const WindowStack::Entry* WindowStack::find(const QWidget* window) const {
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [window](const Entry& e) { return e.window == window; });
    return it == m_entries.end() ? nullptr : &*it;
}

bool WindowStack::contains(const QWidget* window) const {
    return find(window) != nullptr;
}

bool WindowStack::standsOverBackdrop(const QWidget* window) const {
    const Entry* entry = find(window);
    return entry && std::any_of(m_entries.begin(), m_entries.end(), [entry](const Entry& e) {
               return isBackdrop(e.level) && e.level < entry->level;
           });
}

std::vector<QWidget*> WindowStack::order() const {
    auto inStack = [this](const QWidget* w) {
        return w &&
               std::any_of(m_entries.begin(), m_entries.end(), [w](const Entry& e) { return e.window == w; });
    };
    std::vector<Entry> ranked;
    std::vector<Entry> sheets;
    for (const Entry& entry : m_entries)
        (inStack(entry.owner) ? sheets : ranked).push_back(entry);
    auto byLevelThenRaise = [](const Entry& a, const Entry& b) {
        return a.level != b.level ? a.level < b.level : a.raised < b.raised;
    };
    std::stable_sort(ranked.begin(), ranked.end(), byLevelThenRaise);
    std::stable_sort(sheets.begin(), sheets.end(), byLevelThenRaise);
    std::vector<QWidget*> windows;
    windows.reserve(m_entries.size());
    for (const auto& entry : ranked) {
        windows.push_back(entry.window);
        for (const auto& sheet : sheets) {
            if (sheet.owner == entry.window)
                windows.push_back(sheet.window);
        }
    }
    return windows;
}

void WindowStack::restack() {
    const std::vector<QWidget*> windows = order();
    keepWithinReach(windows);
    if (x11::active()) {
        watchWindowSystem();
        keepAboveBackdrops(windows);
        x11::keepStackingOrder(windows, bypassesManager);
        return;
    }
    // Raising bottom to top leaves the highest level on top; the window system keeps the relative
    // order of stay-on-top windows it was given.
    for (QWidget* window : windows)
        window->raise();
}

void WindowStack::keepWithinReach(const std::vector<QWidget*>& bottomToTop) const {
    const Entry* backdrop = nullptr;
    for (QWidget* window : bottomToTop) {
        const Entry* entry = find(window);
        if (!entry)
            continue;
        if (isBackdrop(entry->level)) {
            backdrop = entry;
            continue;
        }
        // Sheets and dialogs go with the window they belong to; a window the manager never sees
        // stays where the agent puts it.
        auto* agentWindow = dynamic_cast<Window*>(window);
        if (!backdrop || backdrop->level >= entry->level || entry->owner || !agentWindow ||
            bypassesManager(window) || window->windowType() != Qt::Window)
            continue;
        if (window->isMinimized() || (x11::active() && x11::keepWithinReach(window, backdrop->window)))
            restoreOverBackdrop(agentWindow);
    }
}

void WindowStack::keepAboveBackdrops(const std::vector<QWidget*>& bottomToTop) const {
    const Entry* backdrop = nullptr;
    // openbox does not carry a window's new transient parent (the viewer opening beneath the
    // canvas) to the windows transient for that window: it lifts the window with its new parent
    // and leaves them below until their own hints are read again. So every hint above a changed
    // one goes out again, and the manager works each of them out anew.
    bool renew = false;
    for (QWidget* window : bottomToTop) {
        auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                                  [window](const Entry& e) { return e.window == window; });
        // Sheets and dialogs have their transient hint from Qt (their owner, or the whole agent); a
        // window the manager never sees is placed by the agent itself.
        if (entry == m_entries.end() || entry->owner || bypassesManager(window) ||
            window->windowType() != Qt::Window)
            continue;
        renew = x11::declareTransientFor(
                    window, backdrop && backdrop->level < entry->level ? backdrop->window : nullptr, renew) ||
                renew;
        if (isBackdrop(entry->level))
            backdrop = &*entry;
    }
}

void WindowStack::watchWindowSystem() {
    // A manager raises what the student clicks, and other programs map and raise their windows:
    // every such change makes the stack look again.
    x11::watchStacking([] {
        if (!WindowStack::shared().m_entries.empty())
            WindowStack::shared().restack();
    });
}

} // namespace desktop
