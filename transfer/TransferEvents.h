// Names and keys of the file-sending events between the drop worker, the sender and the progress
// window. Dictionaries of texts travel as the notification's object.
#pragma once

namespace transfer::events {

// One archived piece, posted by transfer::FileSender's drop worker. Observed by
// transfer::FileSender, which puts it on its queue.
constexpr const char* kSendedFileData = "POST_MSG_SENDED_FILE_DATA";
constexpr const char* kKeyFileData = "fileData";
constexpr const char* kKeyTotalSize = "totalSize";
constexpr const char* kKeyLastFile = "lastFile";
constexpr const char* kKeyRemainFileCnt = "remainFileCnt";

// The progress window's events, posted by transfer::FileSender on the main thread. Observed by
// transfer::FileUploadViewController.
constexpr const char* kSendFileDataStart = "POST_MSG_SEND_FILE_DATA_START";
constexpr const char* kSendedServerFileData = "POST_MSG_SENDED_SERVER_FILE_DATA";
constexpr const char* kFileUploadViewClose = "POST_MSG_FILE_UPLOAD_VIEW_CLOSE";
constexpr const char* kKeyFileName = "fileName";
constexpr const char* kKeyFileMin = "fileMin";
constexpr const char* kKeyFileMax = "fileMax";

} // namespace transfer::events
