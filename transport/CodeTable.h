// Code tables: which received packet is posted under which notification name, per link class.
// Built once (thread-safe static initialisation) and read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace transport {

constexpr char kReadMsgDisconnect[] = "READ_MSG_DISCONNECT";
constexpr char kReadMsgPrefix[] = "READ_MSG_";
constexpr char kRelaySuffix[] = "_RELAY";

// One row: body type, code (type 1 only, e.g. "[MV00050]"; empty otherwise), notification name.
struct RevCallBackRow {
    std::uint32_t nType = 0;
    std::string strCode;
    std::string strName;
};
using RevCallBackTable = std::vector<RevCallBackRow>;

// "READ_MSG_" + code without its brackets + suffix ("[MV00050]" -> "READ_MSG_MV00050").
std::string MakeNotificationName(const std::string& code, const std::string& suffix);

// The direct link's 69 rows and the client relay link's 68 rows, in lookup order.
const RevCallBackTable& TCPServerClientCodeTable();
const RevCallBackTable& TCP_RelayServerConnCodeTable();

// The first row matching a record's type and (for type 1) its code exactly; nullptr when none.
const RevCallBackRow* FindCodeRow(const RevCallBackTable& table, std::int32_t nType,
                                  const std::string& strCode);

} // namespace transport
