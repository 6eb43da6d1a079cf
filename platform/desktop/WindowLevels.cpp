#include "platform/desktop/WindowLevels.h"

#include <QWidget>
#include <algorithm>

namespace desktop {

WindowStack& WindowStack::shared() {
    static WindowStack stack;
    return stack;
}

void WindowStack::orderFront(QWidget* window, int level) {
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [window](const Entry& e) { return e.window == window; });
    if (it == m_entries.end())
        m_entries.push_back(Entry{window, level, m_nextRaise++});
    else {
        it->level = level;
        it->raised = m_nextRaise++;
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
    std::erase_if(m_entries, [window](const Entry& e) { return e.window == window; });
}

std::vector<QWidget*> WindowStack::order() const {
    std::vector<Entry> sorted = m_entries;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) {
        return a.level != b.level ? a.level < b.level : a.raised < b.raised;
    });
    std::vector<QWidget*> windows;
    windows.reserve(sorted.size());
    for (const auto& entry : sorted)
        windows.push_back(entry.window);
    return windows;
}

void WindowStack::restack() {
    // Raising bottom to top leaves the highest level on top; the window system keeps the relative
    // order of stay-on-top windows it was given.
    for (QWidget* window : order())
        window->raise();
}

} // namespace desktop
