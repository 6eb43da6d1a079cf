// Makes every window of this folder known to the window registry by its storyboard identifier
// ("permissionWindow", "loginWindow", "mainWindow", "messageboxWindow",
// "lockViewWindow"). Main thread, at start.
#pragma once

namespace panel {

void registerPanelWindows();

} // namespace panel
