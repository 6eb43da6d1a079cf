// The still of the screen under the capture board, read through the capture path of the screen
// upload (the panel's window is hidden before, by desktop::x11::hideAndWaitForServer). Main thread.
#pragma once

#include <QImage>

namespace notetool {

// The primary output as it is now; a null image (logged) when the screen cannot be read.
QImage grabScreenStill();

} // namespace notetool
