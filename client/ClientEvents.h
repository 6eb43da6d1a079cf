// Names and dictionary keys of the events the client object posts for the windows ("POST_MSG_")
// and of the window events it turns into packets. Values are texts the observers compare as texts.
#pragma once

namespace client::events {

constexpr const char* kScreenUploadEnable = "POST_MSG_RECEIVED_SCREEN_UPLOAD_ENABLE";
constexpr const char* kScreenShareHide = "POST_MSG_RECEIVED_SCREEN_SHARE_HIDE";
constexpr const char* kScreenShareShow = "POST_MSG_RECEIVED_SCREEN_SHARE_SHOW";
constexpr const char* kScreenUploadStatus = "POST_MSG_RECEIVED_SCREEN_UPLOAD_STATUS";
constexpr const char* kShareScreenStatus = "POST_MSG_RECEIVED_SHARE_SCREEN_STATUS";
constexpr const char* kBroadcast = "POST_MSG_RECEIVED_BROADCAST";
constexpr const char* kBroadcastStop = "POST_MSG_RECEIVED_BROADCAST_STOP";
constexpr const char* kScreenShareInit = "POST_MSG_CMD_SCREEN_SHARE_INIT";
constexpr const char* kScreenData = "POST_MSG_RECEIVED_SCREEN_DATA";
constexpr const char* kScreenH264Data = "POST_MSG_RECEIVED_SCREEN_H264_DATA";
constexpr const char* kScreenLock = "POST_MSG_RECEIVED_SCREEN_LOCK";
constexpr const char* kDisabledX = "POST_MSG_RECEIVED_DISABLED_X";
constexpr const char* kEnabledX = "POST_MSG_RECEIVED_ENABLED_X";
constexpr const char* kForbiddanceWeb = "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_WEB";
constexpr const char* kForbiddanceList = "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_LIST";
constexpr const char* kTeacherChat = "POST_MSG_RECEIVED_TEACHER_CHAT";
constexpr const char* kAnotherDevice = "POST_MSG_ANOTHER_DEVICE_CONNECTED";
constexpr const char* kFileData = "POST_MSG_RECEIVED_FILE_DATA";
constexpr const char* kShareNoteToolStatus = "POST_MSG_RECEIVED_SHARE_NOTE_TOOL_STATUS";
constexpr const char* kNoteToolShowHide = "POST_MSG_RECEIVED_NOTETOOL_SHOW_HIDE";
constexpr const char* kNoteToolLock = "POST_MSG_RECEIVED_NOTETOOL_LOCK";
constexpr const char* kNoteSaveMode = "POST_MSG_RECEIVED_NOTE_SAVE_MODE";

// Window events the client turns into packets.
constexpr const char* kMouseData = "POST_MSG_MOUSE_DATA";
constexpr const char* kKeyboardData = "POST_MSG_KEYBOARD_DATA";
constexpr const char* kStudentChat = "POST_MSG_RECEIVED_STUDENT_CHAT";

// A lost link, from a connection, the client (relay "[MV00100]") or the heartbeat.
constexpr const char* kDisconnect = "READ_MSG_DISCONNECT";
// Posted by the main view controller once its view has loaded; the capture object answers it by
// starting the session.
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
