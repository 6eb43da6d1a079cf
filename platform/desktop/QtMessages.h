// Qt's own messages (the platform plugin's notices, warnings of Qt's classes) routed into the
// agent's log with their category and kind, instead of the terminal Qt writes to by default.
// Installed once at start, before the Qt application exists; the handler may run on any thread.
#pragma once

namespace desktop {

// Installs the handler (idempotent). Each message becomes one line: "[ZQ]Qt warning (qt.qpa.xcb): text".
void installQtMessageHandler();

} // namespace desktop
