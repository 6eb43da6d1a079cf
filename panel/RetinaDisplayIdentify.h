// Whether any attached screen is high-density (backing scale 2 or more). Reads the screen cache of
// platform/Screens.h, so any thread may ask.
#pragma once

class RetinaDisplayIdentify {
public:
    static bool isRetinaDisplayOrHdpi();
};
