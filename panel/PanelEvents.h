// Names and keys of the events between the windows themselves (the client object's are in
// client/ClientEvents.h). Dictionaries of texts travel as the notification's object.
#pragma once

#include "client/ClientEvents.h"

namespace panel::events {

// The message-box contract: create "messageboxWindow", then post this with the keys below.
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

// Posted by the main view controller when its view has loaded; the capture object answers it.
constexpr const char* kLoginSuccess = client::events::kLoginSuccess;
// Posted by the minimised tab when clicked, with the tab's origin as "%f" texts.
constexpr const char* kMaximizeWindow = "POST_MSG_MAXIMIZE_WINDOW";
constexpr const char* kKeyFX = "fX";
constexpr const char* kKeyFY = "fY";
// Posted by the main view controller once the screen still for the capture board is ready.
constexpr const char* kCaptureBoardPressed = "POST_MSG_PRESSED_SCREEN_CAPTURE_BOARD";
// The note tool's erase-all in share-board mode.
constexpr const char* kShareBoardRemoveAll = "POST_MSG_CALL_SHARE_BOARD_REMOVE_ALL";

} // namespace panel::events
