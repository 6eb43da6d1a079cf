// Keys of the application-group settings suite shared by login, the client object, capture and
// the windows, with the defaults their readers use. Every value is a string.
#pragma once

namespace client::settings {

constexpr const char* kTeacherId = "iOS-teacherId";
constexpr const char* kSlot = "iOS-slot";
constexpr const char* kAlias = "iOS-alias";
constexpr const char* kServerIp = "iOS-ip";
constexpr const char* kServerPort = "iOS-serverPort";
constexpr const char* kDataFileOverwrite = "iOS-dataFile-overwrite";
// Holds the archived latest received file piece between the client and the file receiver; it is
// memory-only so a piece never reaches the settings file on disk.
constexpr const char* kArchivedFileData = "iOS-archived-fileData";
constexpr const char* kDataFileSended = "iOS-dataFile-sended";
constexpr const char* kEvent = "iOS-event";
constexpr const char* kTransferPath = "macOS-transferPath";
constexpr const char* kDataFileReceived = "macOS-dataFile-received";
constexpr const char* kDataSended = "macOS-data-sended";
constexpr const char* kMacDataFileSended = "macOS-dataFile-sended";
constexpr const char* kBroadcast = "macOS-broadcast";
constexpr const char* kServerWidth = "macOS-serverWidth";
constexpr const char* kServerHeight = "macOS-serverHeight";
constexpr const char* kCanvasWidth = "macOS-canvasWidth";
constexpr const char* kCanvasHeight = "macOS-canvasHeight";
constexpr const char* kScreenInit = "macOS-screenInit";
constexpr const char* kServerEncodeWidth = "macOS-serverEncodeWidth";
constexpr const char* kServerEncodeHeight = "macOS-serverEncodeHeight";
constexpr const char* kScreenH264Init = "macOS-screenH264Init";

// Defaults of the client object's readers when a key is absent.
constexpr const char* kDefaultServerIp = "0.0.0.0";
constexpr const char* kDefaultServerPort = "10240";
constexpr const char* kDefaultAlias = "Default alias";

// Values written by the handlers.
constexpr const char* kEventAnotherDevice = "100";
constexpr const char* kScreenInitAnswer = "1";
constexpr const char* kScreenInitShare = "2";
constexpr const char* kScreenH264InitValue = "3";

// Marks the keys that carry large transient data as memory-only in the suite. Idempotent; the
// client object calls it when it is created.
void registerMemoryOnlyKeys();

} // namespace client::settings
