// Names of the events the note tool posts and observes among the windows (the client object's are
// in client/ClientEvents.h, the panel's in panel/PanelEvents.h).
#pragma once

#include "panel/PanelEvents.h"

namespace notetool::events {

// Posted by the main view controller once the screen still is ready, and by the panel for the white page.
constexpr const char* kCaptureBoardPressed = panel::events::kCaptureBoardPressed;
constexpr const char* kWhiteBoardPressed = "POST_MSG_PRESSED_WHITE_BOARD";
// The panel's erase-all: the canvas clears its ink and redraws.
constexpr const char* kCaptureBoardRemoveAll = "POST_MSG_CALL_CAPTURE_BOARD_REMOVE_ALL";
constexpr const char* kRefreshCanvasView = "POST_MSG_CALL_REFRESH_CANVAS_VIEW";
// The teacher-screen viewer clears its picture before the student asks to upload.
constexpr const char* kScreenShareInit = "POST_MSG_RECEIVED_SCREEN_SHARE_INIT";
// The mode, for the capture objects: {"status": "%d"}.
constexpr const char* kNoteToolMode = "POST_MSG_RECEIVED_NOTETOOL_MODE";
// The minimised tab's placement: {"fX", "fY"} as "%f".
constexpr const char* kMinimizeWindow = "POST_MSG_MINIMIZE_WINDOW";

} // namespace notetool::events
