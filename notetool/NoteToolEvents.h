// Names of the events the note tool posts and observes among the windows (the client object's are
// in client/ClientEvents.h, the panel's in panel/PanelEvents.h).
#pragma once

#include "panel/PanelEvents.h"

namespace notetool::events {

// Posted by panel::MainViewController once the screen still is ready. Observed by
// notetool::NoteToolView, which opens the capture board.
constexpr const char* kCaptureBoardPressed = panel::events::kCaptureBoardPressed;
// Posted and observed by notetool::NoteToolView: the white board opens after the press.
constexpr const char* kWhiteBoardPressed = "POST_MSG_PRESSED_WHITE_BOARD";
// The panel's erase-all, posted by notetool::NoteToolView. Observed by
// notetool::CanvasViewController, which clears the ink.
constexpr const char* kCaptureBoardRemoveAll = "POST_MSG_CALL_CAPTURE_BOARD_REMOVE_ALL";
// Posted by notetool::CanvasViewController after the erase-all. Observed by notetool::CanvasView,
// which redraws.
constexpr const char* kRefreshCanvasView = "POST_MSG_CALL_REFRESH_CANVAS_VIEW";
// Posted by notetool::NoteToolView before the student asks to upload. Observed by
// viewer::ScreenShareViewController, which clears its picture.
constexpr const char* kScreenShareInit = "POST_MSG_RECEIVED_SCREEN_SHARE_INIT";
// The mode, {"status": "%d"}, posted by notetool::NoteToolView when the teacher asks. Observed by
// streaming::ScreenCaptureCore.
constexpr const char* kNoteToolMode = "POST_MSG_RECEIVED_NOTETOOL_MODE";
// The minimised tab's placement, {"fX", "fY"} as "%f", posted by notetool::NoteToolView as it
// makes the tab. Observed by notetool::MinimizeWindowController.
constexpr const char* kMinimizeWindow = "POST_MSG_MINIMIZE_WINDOW";

} // namespace notetool::events
