// Every text command the agent sends to the teacher console or relay, formatted exactly as the
// peers expect. Pure functions; any thread. Which link carries each is the sender's choice
// (StudentClient::sendCommand).
#pragma once

#include <cstdint>
#include <string>

namespace client::command {

// The agent's version text, sent in "[PC00017]" and both forms of "[US00001]".
constexpr const char* kClientVersion = "3.0.2.1008";
// The H.264 picture size announced in "[PC00609]".
constexpr int kH264Width = 1920;
constexpr int kH264Height = 1080;

constexpr const char* kHeartbeat = "[PC00003]";
constexpr const char* kFileChunkAck = "[PC00010]";
constexpr const char* kToggleScreenUpload = "[PC00037]";
constexpr const char* kToggleUploadShare = "[PC00038]";
constexpr const char* kShareBoardCleared = "[PC00143]";
constexpr const char* kShareBoardEnter = "[PC00147]";
constexpr const char* kShareBoardLeave = "[PC00148]";
constexpr const char* kInputLanguageToggle = "[PC00604]";
constexpr const char* kH264On = "[PC00606]true";
constexpr const char* kH264Off = "[PC00606]false";
constexpr const char* kH264Supported = "[PC00607]true";
constexpr const char* kAnswerModeOn = "[AN00004]";
constexpr const char* kAnswerModeOff = "[AN00005]";
constexpr const char* kRelayConnected = "[PC_CONN]";

// "[PC00002]%s,%s,0,0,0,0,false": direct slot registration with the record's slot text and name.
std::string slotRegistration(const std::string& slotText, const std::string& alias);
// "[PC00002]%d,%s,0,0,0,0,false": relay slot registration.
std::string slotRegistration(std::int32_t slot, const std::string& alias);
// "[PC00004]%d,%d": the student's screen size.
std::string screenSize(std::int32_t width, std::int32_t height);
// "[PC00015]%s,5000": one chat line, commas and all.
std::string studentChat(const std::string& line);
// "[PC00017]%s" with the client version.
std::string clientVersion();
// "[PC00025]%d": a teacher frame shown while the teacher's screen is shared.
std::string sharedFrameAck(std::int32_t sequence);
// "[PC00029]%d,%s,Reserved": operating-system kind code and text.
std::string osKind(std::int32_t kindCode, const std::string& kindText);
// "[PC00603]%s": a key as hexadecimal scan codes.
std::string keyText(const std::string& scanCodes);
// "[PC00609]%d,%d": the H.264 picture size.
std::string h264Size(std::int32_t width = kH264Width, std::int32_t height = kH264Height);
// "[AN00006]%d": a teacher frame shown in answer mode.
std::string answerFrameAck(std::int32_t sequence);
// "[US00001]%s,%s": teacher ID and client version, the relay session's first answer.
std::string relayLogin(const std::string& teacherId);
// "[US00001]%d,%s,%s,%s,%s,%d,%s,%s": the login-time registration with the relay server.
std::string relayRegistration(std::int32_t clientKind, const std::string& teacherId,
                              const std::string& localIp, const std::string& localPort,
                              std::int32_t osKindCode, const std::string& osKindText,
                              const std::string& osVersion);

} // namespace client::command
