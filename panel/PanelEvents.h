// Names and keys of the events between the windows themselves (the client object's are in
// client/ClientEvents.h). Dictionaries of texts travel as the notification's object.
#pragma once

#include "client/ClientEvents.h"

namespace panel::events {

// The message-box contract: create "messageboxWindow", then post this with the keys below. Posted
// by postMessagebox (MessageboxWindow.cpp) on the main queue. Observed by
// panel::MessageboxViewController: every open box.
constexpr const char* kMessage = "POST_MSG_RECEIVED_MESSAGE";
constexpr const char* kKeyMessage = "message";
constexpr const char* kKeyCloseTime = "closeTime";
constexpr const char* kKeyMsgLv = "msgLv";
// The levels under kKeyMsgLv: information shows the information icon, any other level the caution
// icon. Callers of showMessagebox pass the numbers, posters of the dictionary the texts.
constexpr int kMsgLvInformation = 0;
constexpr int kMsgLvCaution = 1;
constexpr const char* kMsgLvInformationText = "0";
constexpr const char* kMsgLvCautionText = "1";
constexpr const char* kKeyHidden = "hidden";
constexpr const char* kKeyTerminate = "terminate";

// Posted by panel::MainViewController when its view has loaded. Observed by
// session::SessionHeartbeat, held by the capture object, which starts the session.
constexpr const char* kLoginSuccess = client::events::kLoginSuccess;
// Posted by the minimised tab notetool::MinimizeView when clicked, with the tab's origin as "%f"
// texts. Observed by panel::MainWindowController, which brings the panel back there.
constexpr const char* kMaximizeWindow = "POST_MSG_MAXIMIZE_WINDOW";
constexpr const char* kKeyFX = "fX";
constexpr const char* kKeyFY = "fY";
// Posted by panel::MainViewController once the screen still for the capture board is ready.
// Observed by notetool::NoteToolView, which opens the board.
constexpr const char* kCaptureBoardPressed = "POST_MSG_PRESSED_SCREEN_CAPTURE_BOARD";
// The note tool's erase-all in share-board mode, posted by notetool::NoteToolView. Observed by
// panel::MainViewController, which tells the console on the direct link.
constexpr const char* kShareBoardRemoveAll = "POST_MSG_CALL_SHARE_BOARD_REMOVE_ALL";

} // namespace panel::events
