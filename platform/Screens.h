// What the agent knows about the attached screens, cached for every thread. The desktop layer fills
// the cache on the main thread at start and on every display change; capture, upload and the
// client read it from any thread. Sizes are in points (device-independent pixels), as the teacher
// console counts them; the y axis of frames given to windows starts at the bottom of the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

struct ScreenInfo {
    // Primary screen frame in points.
    double width = 0.0;
    double height = 0.0;
    // Height of the panel strip at the top of the primary screen (its available area's top inset).
    double menuBarHeight = 0.0;
    // Backing scale factor of every attached screen, primary first.
    std::vector<double> scales;
};

namespace screens {

// A backing scale of 2 or more counts as a high-density ("Retina") screen.
constexpr double kHighDensityScale = 2.0;

// Replaces the cached information (desktop layer, tests). Thread-safe.
void setInfo(ScreenInfo info);
ScreenInfo info();

// The primary screen's size truncated to integers, as the windows compute their frames.
int clientWidth();
int clientHeight();
double menuBarHeight();
// Backing scale of the primary screen (1.0 when no screen is known).
double backingScale();
// True as soon as one attached screen has a backing scale of 2 or more.
bool isHighDensity();

// Display-change handlers run on the main thread after the cache holds the new configuration.
// A handler may run several times for one change. Removal waits for no running call; remove a
// handler on the main thread only.
using DisplayChangeHandler = std::function<void()>;
using DisplayChangeToken = std::uint64_t;
DisplayChangeToken addDisplayChangeHandler(DisplayChangeHandler handler);
void removeDisplayChangeHandler(DisplayChangeToken token);
// Called by the desktop layer after it refreshed the cache.
void notifyDisplayChanged();

} // namespace screens
} // namespace platform
