#include "transport/CodeTable.h"

#include "transport/PacketData.h"

namespace transport {
namespace {

// Codes the teacher console sends on the direct link, in lookup order.
const char* const kDirectCodes[] = {
    "[RH00001]", "[RH00002]", "[RH00003]", "[RH00004]", "[UR00001]", "[UR00002]", "[UR00004]", "[MV00001]",
    "[MV00002]", "[MV00003]", "[MV00004]", "[MV00005]", "[MV00006]", "[MV00007]", "[MV00009]", "[MV00012]",
    "[MV00013]", "[MV00014]", "[MV00016]", "[MV00030]", "[MV00050]", "[MV00051]", "[MV00052]", "[MV00060]",
    "[MV00061]", "[MV00070]", "[MV00071]", "[MV00072]", "[MV00074]", "[MV00075]", "[MV00076]", "[MV00078]",
    "[MV00079]", "[MV00080]", "[MV00082]", "[MV00094]", "[MV00097]", "[MV00102]", "[MV00103]", "[MV00105]",
    "[MV00107]", "[MV00124]", "[MV00126]", "[MV00127]", "[MV00143]", "[MV00230]", "[MV00231]", "[MV00232]",
    "[MV00259]", "[MV00264]", "[MV00265]", "[MV00304]", "[MV00305]", "[MV00400]", "[MV00401]", "[MV00402]",
    "[MV00405]", "[MV00406]", "[MV00407]", "[MV10000]", "[MV10001]", "[MV10002]", "[AN00001]",
};

// Codes that arrive through the relay, in lookup order. "[MV00102]" and "[MV00103]" stand twice;
// the second pair can never match first and is kept so the table keeps its shape.
const char* const kRelayCodes[] = {
    "[FR00001]", "[FR00002]", "[MV00001]", "[MV00002]", "[MV00003]", "[MV00004]", "[MV00005]", "[MV00006]",
    "[MV00007]", "[MV00008]", "[MV00009]", "[MV00012]", "[MV00013]", "[MV00014]", "[MV00029]", "[MV00030]",
    "[MV00050]", "[MV00051]", "[MV00052]", "[MV00061]", "[MV00070]", "[MV00071]", "[MV00072]", "[MV00074]",
    "[MV00075]", "[MV00079]", "[MV00080]", "[MV00082]", "[MV00089]", "[MV00093]", "[MV00094]", "[MV00097]",
    "[MV00100]", "[MV00102]", "[MV00103]", "[MV00102]", "[MV00103]", "[MV00105]", "[MV00107]", "[MV00108]",
    "[MV00113]", "[MV00118]", "[MV00119]", "[MV00120]", "[MV00134]", "[MV00135]", "[MV00143]", "[MV00245]",
    "[MV00246]", "[MV00259]", "[MV00304]", "[MV00305]", "[MV00400]", "[MV00401]", "[MV00402]", "[MV00403]",
    "[MV00404]", "[MV00405]", "[MV00406]", "[MV00407]", "[MV01000]", "[MV01001]", "[MV10001]", "[MV10002]",
    "[AN00001]",
};

constexpr std::size_t kBracketBytes = 2;

RevCallBackTable BuildTable(const char* const* codes, std::size_t count, const char* suffix,
                            std::initializer_list<RevCallBackRow> binaryRows) {
    RevCallBackTable table;
    table.reserve(count + binaryRows.size());
    for (std::size_t i = 0; i < count; ++i)
        table.push_back({kBodyTextCommand, codes[i], MakeNotificationName(codes[i], suffix)});
    table.insert(table.end(), binaryRows);
    return table;
}

} // namespace

std::string MakeNotificationName(const std::string& code, const std::string& suffix) {
    std::string inner = code;
    if (inner.size() >= kBracketBytes && inner.front() == '[' && inner.back() == ']')
        inner = inner.substr(1, inner.size() - kBracketBytes);
    return kReadMsgPrefix + inner + suffix;
}

const RevCallBackTable& TCPServerClientCodeTable() {
    static const RevCallBackTable table = BuildTable(kDirectCodes, std::size(kDirectCodes), "",
                                                     {{kBodyCompression, "", "READ_MSG_COMPRESSION"},
                                                      {kBodyCompressedScreen, "", "READ_MSG_COMBINED_DIB"},
                                                      {kBodyFileChunk, "", "READ_MSG_FILE"},
                                                      {kBodyMouseInput, "", "READ_MSG_MOUSE"},
                                                      {kBodyKeyInput, "", "READ_MSG_KEY"},
                                                      {kBodyH264, "", "READ_MSG_H264"}});
    return table;
}

const RevCallBackTable& TCP_RelayServerConnCodeTable() {
    static const RevCallBackTable table =
        BuildTable(kRelayCodes, std::size(kRelayCodes), kRelaySuffix,
                   {{kBodyFileChunk, "", "READ_MSG_UFILE_RELAY"},
                    {kBodyCompression, "", "READ_MSG_UCOMPRESSION_RELAY"},
                    {kBodyCompressedScreen, "", "READ_MSG_UCOMBINED_DIB_RELAY"}});
    return table;
}

const RevCallBackRow* FindCodeRow(const RevCallBackTable& table, std::int32_t nType,
                                  const std::string& strCode) {
    for (const auto& row : table) {
        if (static_cast<std::int64_t>(row.nType) != nType)
            continue;
        if (nType == kBodyTextCommand && row.strCode != strCode)
            continue;
        return &row;
    }
    return nullptr;
}

} // namespace transport
