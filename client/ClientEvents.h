// Names and dictionary keys of the events the client object posts for the windows ("POST_MSG_")
// and of the window events it turns into packets. Values are texts the observers compare as texts.
#pragma once

namespace client::events {

// Posted by the client object StudentClient on a link's receive thread as it handles the teacher's
// command (StudentClientHandlers.cpp) unless said otherwise. Each says who observes it.

// Observed by panel::MainViewController, where the live view's start shows nothing.
constexpr const char* kScreenUploadEnable = "POST_MSG_RECEIVED_SCREEN_UPLOAD_ENABLE";
// Also posted by notetool::NoteToolView as its capture board opens. Observed by nobody.
constexpr const char* kScreenShareHide = "POST_MSG_RECEIVED_SCREEN_SHARE_HIDE";
// Also posted by notetool::NoteToolView entering the share board. Observed by
// viewer::ScreenShareViewController (shows its picture again).
constexpr const char* kScreenShareShow = "POST_MSG_RECEIVED_SCREEN_SHARE_SHOW";
// Observed by notetool::NoteToolView ({"status"}).
constexpr const char* kScreenUploadStatus = "POST_MSG_RECEIVED_SCREEN_UPLOAD_STATUS";
// Observed by notetool::NoteToolView ({"status"}).
constexpr const char* kShareScreenStatus = "POST_MSG_RECEIVED_SHARE_SCREEN_STATUS";
// Observed by panel::MainViewController, which opens the viewer.
constexpr const char* kBroadcast = "POST_MSG_RECEIVED_BROADCAST";
// Observed by viewer::ScreenShareViewController, which closes the viewer.
constexpr const char* kBroadcastStop = "POST_MSG_RECEIVED_BROADCAST_STOP";
// Observed by viewer::ScreenShareViewController, which reads its mode and grid again.
constexpr const char* kScreenShareInit = "POST_MSG_CMD_SCREEN_SHARE_INIT";
// Observed by viewer::ScreenShareViewController, which queues the strip for its refresh timer.
constexpr const char* kScreenData = "POST_MSG_RECEIVED_SCREEN_DATA";
// Observed by viewer::ScreenShareViewController, which queues the frame for its refresh timer.
constexpr const char* kScreenH264Data = "POST_MSG_RECEIVED_SCREEN_H264_DATA";
// Observed by panel::MainViewController, which opens or closes the lock window ({"lock"}).
constexpr const char* kScreenLock = "POST_MSG_RECEIVED_SCREEN_LOCK";
// Observed by notetool::NoteToolView (hides the close button).
constexpr const char* kDisabledX = "POST_MSG_RECEIVED_DISABLED_X";
// Observed by notetool::NoteToolView (shows the close button).
constexpr const char* kEnabledX = "POST_MSG_RECEIVED_ENABLED_X";
// Observed by forbidden::ForbiddenPrograms ({"web"}).
constexpr const char* kForbiddanceWeb = "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_WEB";
// Observed by forbidden::ForbiddenPrograms ({"list"}).
constexpr const char* kForbiddanceList = "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_LIST";
// Observed by panel::MainViewController, which hands the line to the chat window ({"chat"}).
constexpr const char* kTeacherChat = "POST_MSG_RECEIVED_TEACHER_CHAT";
// Observed by nobody: another device's login changes nothing here.
constexpr const char* kAnotherDevice = "POST_MSG_ANOTHER_DEVICE_CONNECTED";
// Observed by panel::MainViewController, which hands it to transfer::FileReceiver on the receive
// thread (the piece waits in the settings under "iOS-archived-fileData").
constexpr const char* kFileData = "POST_MSG_RECEIVED_FILE_DATA";
// Observed by notetool::NoteToolView ({"status"}).
constexpr const char* kShareNoteToolStatus = "POST_MSG_RECEIVED_SHARE_NOTE_TOOL_STATUS";
// Observed by notetool::NoteToolView, which answers with its mode ({"status"}).
constexpr const char* kNoteToolShowHide = "POST_MSG_RECEIVED_NOTETOOL_SHOW_HIDE";
// Also posted by notetool::NoteToolView on the main thread, handing the lock and unlock on to the
// tab ({"maximize"}). Observed by notetool::NoteToolView ({"lock"} or {"maximize"} from the client)
// and notetool::MinimizeView (the main-thread posts only).
constexpr const char* kNoteToolLock = "POST_MSG_RECEIVED_NOTETOOL_LOCK";
// Observed by notetool::NoteToolView ({"noteSave"}).
constexpr const char* kNoteSaveMode = "POST_MSG_RECEIVED_NOTE_SAVE_MODE";

// Window events the client turns into packets, observed by client::StudentClient.
// Posted by viewer::ScreenShareView.
constexpr const char* kMouseData = "POST_MSG_MOUSE_DATA";
// Posted by viewer::ScreenShareWindow.
constexpr const char* kKeyboardData = "POST_MSG_KEYBOARD_DATA";
// Posted by chat::MessageWindowViewController.
constexpr const char* kStudentChat = "POST_MSG_RECEIVED_STUDENT_CHAT";

// A lost link, posted by each link as its receive thread ends (transport::TCPConnection, as
// transport::kReadMsgDisconnect), by the client (relay "[MV00100]") and by session::SessionHeartbeat.
// Observed by panel::MainViewController (the current session's links) and login::LoginFlow (its
// own login links).
constexpr const char* kDisconnect = "READ_MSG_DISCONNECT";
// Posted by panel::MainViewController once its view has loaded. Observed by
// session::SessionHeartbeat, held by the capture object, which starts the session.
constexpr const char* kLoginSuccess = "POST_MSG_RECEIVED_LOGIN_SUCCESS";

// Dictionary keys.
constexpr const char* kKeyStatus = "status";
constexpr const char* kKeyLock = "lock";
constexpr const char* kKeyMaximize = "maximize";
constexpr const char* kKeyWeb = "web";
constexpr const char* kKeyList = "list";
constexpr const char* kKeyChat = "chat";
constexpr const char* kKeyNoteSave = "noteSave";
constexpr const char* kKeyCombinedDib = "combinedDib";
constexpr const char* kKeyH264 = "h264";
constexpr const char* kKeyMouseData = "mouseData";
constexpr const char* kKeyKeyboardData = "keyboardData";

} // namespace client::events
