// Reading command parameters and formatting the outgoing command texts.
#include "client/CommandText.h"

#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"

#include <gtest/gtest.h>

namespace {

using namespace client;

TEST(CommandText, NumbersReadAsStrtolClampedTo32Bits) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"85", 85},
        {"-250", -250},
        {"+7", 7},
        {"  12", 12},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"07", 7},
        {"2147483648", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"3021008", 3021008},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(parseInt32(text), value) << text;
}

TEST(CommandText, FieldsSplitAtCommas) {
    EXPECT_EQ(splitFields("true"), (std::vector<std::string>{"true"}));
    EXPECT_EQ(splitFields(""), (std::vector<std::string>{""}));
    EXPECT_EQ(splitFields("12,34"), (std::vector<std::string>{"12", "34"}));
    EXPECT_EQ(splitFields("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitFields("a,"), (std::vector<std::string>{"a", ""}));
    auto f = splitFields("1");
    EXPECT_EQ(fieldAt(f, 3), "");
}

TEST(CommandText, Utf16UnitsOfATextOnTheWire) {
    EXPECT_EQ(utf16UnitCount("abc"), 3u);
    EXPECT_EQ(utf16UnitCount("\xEA\xB0\x80"), 1u);
    EXPECT_EQ(utf16UnitCount("\xF0\x9F\x98\x80"), 2u);
    EXPECT_FALSE(utf16UnitCount("\xFF").has_value());
    EXPECT_FALSE(utf16UnitCount("\xEA\xB0").has_value());
    EXPECT_FALSE(utf16UnitCount("\xC0\x80").has_value()) << "overlong form";
    EXPECT_FALSE(utf16UnitCount("\xED\xA0\x80").has_value()) << "surrogate";
    EXPECT_EQ(replaceAll("a&comma;b&comma;", "&comma;", ","), "a,b,");
}

TEST(CommandCatalogue, FormatsAsTheConsoleExpects) {
    const std::pair<std::string, std::string> cases[] = {
        {command::slotRegistration(std::string("2"), "Kim"), "[PC00002]2,Kim,0,0,0,0,false"},
        {command::slotRegistration(7, "Default alias"), "[PC00002]7,Default alias,0,0,0,0,false"},
        {command::screenSize(1440, 900), "[PC00004]1440,900"},
        {command::studentChat("a,b"), "[PC00015]a,b,5000"},
        {command::clientVersion(), "[PC00017]3.0.2.1008"},
        {command::sharedFrameAck(42), "[PC00025]42"},
        {command::osKind(3, "apple"), "[PC00029]3,apple,Reserved"},
        {command::keyText("2A,1E"), "[PC00603]2A,1E"},
        {command::h264Size(), "[PC00609]1920,1080"},
        {command::answerFrameAck(-1), "[AN00006]-1"},
        {command::relayLogin("T01"), "[US00001]T01,3.0.2.1008"},
        {command::relayRegistration(3, "T01", "10.0.0.5", "50123", 3, "apple", "6.1.0"),
         "[US00001]3,T01,10.0.0.5,50123,3.0.2.1008,3,apple,6.1.0"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
    EXPECT_STREQ(command::kHeartbeat, "[PC00003]");
    EXPECT_STREQ(command::kH264On, "[PC00606]true");
    EXPECT_STREQ(command::kRelayConnected, "[PC_CONN]");
}

// The windows, the file receiver and other programs of the application group match these texts
// exactly, so each is checked against its literal here rather than through the constant.
TEST(ProtocolNames, EventsKeysAndSettingsAreTheSharedTexts) {
    const std::pair<const char*, const char*> cases[] = {
        {events::kScreenUploadEnable, "POST_MSG_RECEIVED_SCREEN_UPLOAD_ENABLE"},
        {events::kScreenShareHide, "POST_MSG_RECEIVED_SCREEN_SHARE_HIDE"},
        {events::kScreenShareShow, "POST_MSG_RECEIVED_SCREEN_SHARE_SHOW"},
        {events::kScreenUploadStatus, "POST_MSG_RECEIVED_SCREEN_UPLOAD_STATUS"},
        {events::kShareScreenStatus, "POST_MSG_RECEIVED_SHARE_SCREEN_STATUS"},
        {events::kBroadcast, "POST_MSG_RECEIVED_BROADCAST"},
        {events::kBroadcastStop, "POST_MSG_RECEIVED_BROADCAST_STOP"},
        {events::kScreenShareInit, "POST_MSG_CMD_SCREEN_SHARE_INIT"},
        {events::kScreenData, "POST_MSG_RECEIVED_SCREEN_DATA"},
        {events::kScreenH264Data, "POST_MSG_RECEIVED_SCREEN_H264_DATA"},
        {events::kScreenLock, "POST_MSG_RECEIVED_SCREEN_LOCK"},
        {events::kDisabledX, "POST_MSG_RECEIVED_DISABLED_X"},
        {events::kEnabledX, "POST_MSG_RECEIVED_ENABLED_X"},
        {events::kForbiddanceWeb, "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_WEB"},
        {events::kForbiddanceList, "POST_MSG_RECEIVED_PROGRAM_FORBIDDANCE_LIST"},
        {events::kTeacherChat, "POST_MSG_RECEIVED_TEACHER_CHAT"},
        {events::kAnotherDevice, "POST_MSG_ANOTHER_DEVICE_CONNECTED"},
        {events::kFileData, "POST_MSG_RECEIVED_FILE_DATA"},
        {events::kShareNoteToolStatus, "POST_MSG_RECEIVED_SHARE_NOTE_TOOL_STATUS"},
        {events::kNoteToolShowHide, "POST_MSG_RECEIVED_NOTETOOL_SHOW_HIDE"},
        {events::kNoteToolLock, "POST_MSG_RECEIVED_NOTETOOL_LOCK"},
        {events::kNoteSaveMode, "POST_MSG_RECEIVED_NOTE_SAVE_MODE"},
        {events::kMouseData, "POST_MSG_MOUSE_DATA"},
        {events::kKeyboardData, "POST_MSG_KEYBOARD_DATA"},
        {events::kStudentChat, "POST_MSG_RECEIVED_STUDENT_CHAT"},
        {events::kDisconnect, "READ_MSG_DISCONNECT"},
        {events::kKeyStatus, "status"},
        {events::kKeyLock, "lock"},
        {events::kKeyMaximize, "maximize"},
        {events::kKeyWeb, "web"},
        {events::kKeyList, "list"},
        {events::kKeyChat, "chat"},
        {events::kKeyNoteSave, "noteSave"},
        {events::kKeyCombinedDib, "combinedDib"},
        {events::kKeyH264, "h264"},
        {events::kKeyMouseData, "mouseData"},
        {events::kKeyKeyboardData, "keyboardData"},
        {settings::kTeacherId, "iOS-teacherId"},
        {settings::kSlot, "iOS-slot"},
        {settings::kAlias, "iOS-alias"},
        {settings::kServerIp, "iOS-ip"},
        {settings::kServerPort, "iOS-serverPort"},
        {settings::kDataFileOverwrite, "iOS-dataFile-overwrite"},
        {settings::kArchivedFileData, "iOS-archived-fileData"},
        {settings::kDataFileSended, "iOS-dataFile-sended"},
        {settings::kEvent, "iOS-event"},
        {settings::kTransferPath, "macOS-transferPath"},
        {settings::kDataFileReceived, "macOS-dataFile-received"},
        {settings::kDataSended, "macOS-data-sended"},
        {settings::kMacDataFileSended, "macOS-dataFile-sended"},
        {settings::kBroadcast, "macOS-broadcast"},
        {settings::kServerWidth, "macOS-serverWidth"},
        {settings::kServerHeight, "macOS-serverHeight"},
        {settings::kCanvasWidth, "macOS-canvasWidth"},
        {settings::kCanvasHeight, "macOS-canvasHeight"},
        {settings::kScreenInit, "macOS-screenInit"},
        {settings::kServerEncodeWidth, "macOS-serverEncodeWidth"},
        {settings::kServerEncodeHeight, "macOS-serverEncodeHeight"},
        {settings::kScreenH264Init, "macOS-screenH264Init"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_STREQ(got, want);
}

// RFC 1321 test vectors, as 32 lower-case hexadecimal digits.
TEST(ProtocolNames, Md5OfBytes) {
    const std::string abc = "abc";
    EXPECT_EQ(StudentClient::md5HashForBytes(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(StudentClient::md5HashForBytes(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()),
              "900150983cd24fb0d6963f7d28e17f72");
}

} // namespace
