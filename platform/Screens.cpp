#include "platform/Screens.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace platform::screens {
namespace {

struct State {
    std::mutex mutex;
    ScreenInfo info;
    DisplayChangeToken nextToken = 1;
    std::map<DisplayChangeToken, DisplayChangeHandler> handlers;
};

State& state() {
    static State s;
    return s;
}

int truncated(double value) {
    if (!std::isfinite(value) || value <= 0.0)
        return 0;
    constexpr double kLargestInt = 2147483647.0;
    return static_cast<int>(std::min(value, kLargestInt));
}

} // namespace

void setInfo(ScreenInfo info) {
    std::lock_guard lock(state().mutex);
    state().info = std::move(info);
}

ScreenInfo info() {
    std::lock_guard lock(state().mutex);
    return state().info;
}

int clientWidth() {
    return truncated(info().width);
}
int clientHeight() {
    return truncated(info().height);
}
double menuBarHeight() {
    return info().menuBarHeight;
}

double backingScale() {
    const ScreenInfo current = info();
    return current.scales.empty() ? 1.0 : current.scales.front();
}

bool isHighDensity() {
    const ScreenInfo current = info();
    return std::any_of(current.scales.begin(), current.scales.end(),
                       [](double scale) { return scale >= kHighDensityScale; });
}

DisplayChangeToken addDisplayChangeHandler(DisplayChangeHandler handler) {
    std::lock_guard lock(state().mutex);
    const DisplayChangeToken token = state().nextToken++;
    state().handlers.emplace(token, std::move(handler));
    return token;
}

void removeDisplayChangeHandler(DisplayChangeToken token) {
    std::lock_guard lock(state().mutex);
    state().handlers.erase(token);
}

void notifyDisplayChanged() {
    std::vector<DisplayChangeHandler> handlers;
    {
        std::lock_guard lock(state().mutex);
        for (const auto& entry : state().handlers)
            handlers.push_back(entry.second);
    }
    // Called without the lock, so a handler may read the cache or add handlers.
    for (const auto& handler : handlers)
        handler();
}

} // namespace platform::screens
