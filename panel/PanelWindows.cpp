#include "panel/PanelWindows.h"

#include "panel/LoginWindow.h"
#include "panel/MainWindow.h"
#include "panel/MessageboxWindow.h"
#include "panel/PermissionWindow.h"
#include "panel/TouchLockViewWindow.h"

namespace panel {

void registerPanelWindows() {
    registerPermissionWindow();
    registerLoginWindow();
    registerMainWindow();
    registerMessageboxWindow();
    registerLockViewWindow();
}

} // namespace panel
