// The still of the screen under the capture board: the panel's window is hidden and the X server
// has handled the hide before the screen is read (without a compositor a see-through window would
// otherwise be in the picture), then the screen is read through the capture path of the screen
// upload. Main thread.
#pragma once

#include <QImage>

class QWidget;

namespace notetool {

// Hides the window and waits until the window server has handled everything asked so far.
void hideAndReachServer(QWidget* window);
// The primary output as it is now; a null image (logged) when the screen cannot be read.
QImage grabScreenStill();

} // namespace notetool
