#include "panel/RetinaDisplayIdentify.h"

#include "platform/Screens.h"

bool RetinaDisplayIdentify::isRetinaDisplayOrHdpi() {
    return platform::screens::isHighDensity();
}
