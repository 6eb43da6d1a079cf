// Turns the student's mouse actions in the viewer into the console's mouse texts "x,y,message":
// Windows mouse-message numbers, and positions scaled from the student's view to the teacher's
// screen with the teacher's origin at the top-left corner. Pure functions; any thread.
#pragma once

#include <string>

namespace viewer {

namespace mousemsg {
constexpr int kNone = -1;
constexpr int kMove = 512;      // 0x200, also every drag
constexpr int kLeftDown = 513;  // 0x201
constexpr int kLeftUp = 514;    // 0x202
constexpr int kRightDown = 516; // 0x204
constexpr int kRightUp = 517;   // 0x205
constexpr int kOtherDown = 519; // 0x207
constexpr int kOtherUp = 520;   // 0x208
constexpr int kWheel = 522;     // 0x20A
} // namespace mousemsg

// One wheel notch of a PC mouse, in the eighths of a degree the window system reports.
constexpr double kWheelNotch = 120.0;
constexpr int kWheelUnitsPerLine = 100;

struct MouseGeometry {
    int clientWidth = 0;  // the student's screen width (cw)
    int clientHeight = 0; // the student's screen height below the menu bar (ch)
    int serverWidth = 0;  // the teacher's screen
    int serverHeight = 0;
};

// The text of an action at view point (x, y), y counted up from the bottom of the view.
// A view of no size maps everything to 0.
std::string mouseText(double x, double y, int message, const MouseGeometry& geometry);
// The text of a wheel turn of deltaY lines: "0," + trunc(deltaY) x 100 + ",522".
std::string wheelText(double deltaY);

} // namespace viewer
