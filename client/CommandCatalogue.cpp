#include "client/CommandCatalogue.h"

namespace client::command {
namespace {
std::string number(std::int32_t value) {
    return std::to_string(value);
}
} // namespace

std::string slotRegistration(const std::string& slotText, const std::string& alias) {
    return "[PC00002]" + slotText + "," + alias + ",0,0,0,0,false";
}

std::string slotRegistration(std::int32_t slot, const std::string& alias) {
    return slotRegistration(number(slot), alias);
}

std::string screenSize(std::int32_t width, std::int32_t height) {
    return "[PC00004]" + number(width) + "," + number(height);
}

std::string studentChat(const std::string& line) {
    return "[PC00015]" + line + ",5000";
}

std::string clientVersion() {
    return std::string("[PC00017]") + kClientVersion;
}

std::string sharedFrameAck(std::int32_t sequence) {
    return "[PC00025]" + number(sequence);
}

std::string osKind(std::int32_t kindCode, const std::string& kindText) {
    return "[PC00029]" + number(kindCode) + "," + kindText + ",Reserved";
}

std::string keyText(const std::string& scanCodes) {
    return "[PC00603]" + scanCodes;
}

std::string h264Size(std::int32_t width, std::int32_t height) {
    return "[PC00609]" + number(width) + "," + number(height);
}

std::string answerFrameAck(std::int32_t sequence) {
    return "[AN00006]" + number(sequence);
}

std::string relayLogin(const std::string& teacherId) {
    return "[US00001]" + teacherId + "," + kClientVersion;
}

std::string relayRegistration(std::int32_t clientKind, const std::string& teacherId,
                              const std::string& localIp, const std::string& localPort,
                              std::int32_t osKindCode, const std::string& osKindText,
                              const std::string& osVersion) {
    return "[US00001]" + number(clientKind) + "," + teacherId + "," + localIp + "," + localPort + "," +
           kClientVersion + "," + number(osKindCode) + "," + osKindText + "," + osVersion;
}

} // namespace client::command
