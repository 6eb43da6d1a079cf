// The codes and names each client link posts, written out here in lookup order apart from
// transport/CodeTable.cpp, so the tables and the links are checked against a second list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace transport::codes {

struct BinaryRow {
    std::uint32_t type;
    const char* name;
};

inline const std::vector<std::string> kDirect = {
    "[RH00001]", "[RH00002]", "[RH00003]", "[RH00004]", "[UR00001]", "[UR00002]", "[UR00004]", "[MV00001]",
    "[MV00002]", "[MV00003]", "[MV00004]", "[MV00005]", "[MV00006]", "[MV00007]", "[MV00009]", "[MV00012]",
    "[MV00013]", "[MV00014]", "[MV00016]", "[MV00030]", "[MV00050]", "[MV00051]", "[MV00052]", "[MV00060]",
    "[MV00061]", "[MV00070]", "[MV00071]", "[MV00072]", "[MV00074]", "[MV00075]", "[MV00076]", "[MV00078]",
    "[MV00079]", "[MV00080]", "[MV00082]", "[MV00094]", "[MV00097]", "[MV00102]", "[MV00103]", "[MV00105]",
    "[MV00107]", "[MV00124]", "[MV00126]", "[MV00127]", "[MV00143]", "[MV00230]", "[MV00231]", "[MV00232]",
    "[MV00259]", "[MV00264]", "[MV00265]", "[MV00304]", "[MV00305]", "[MV00400]", "[MV00401]", "[MV00402]",
    "[MV00405]", "[MV00406]", "[MV00407]", "[MV10000]", "[MV10001]", "[MV10002]", "[AN00001]",
};

inline const std::vector<BinaryRow> kDirectBinary = {
    {10, "READ_MSG_COMPRESSION"}, {12, "READ_MSG_COMBINED_DIB"}, {9, "READ_MSG_FILE"},
    {5, "READ_MSG_MOUSE"},        {4, "READ_MSG_KEY"},           {17, "READ_MSG_H264"},
};

// "[MV00102]" and "[MV00103]" stand twice, one pair after the other.
inline const std::vector<std::string> kRelay = {
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

inline const std::vector<BinaryRow> kRelayBinary = {
    {9, "READ_MSG_UFILE_RELAY"},
    {10, "READ_MSG_UCOMPRESSION_RELAY"},
    {12, "READ_MSG_UCOMBINED_DIB_RELAY"},
};

// "[MV00050]" -> "READ_MSG_MV00050" + suffix.
inline std::string nameOf(const std::string& code, const std::string& suffix) {
    return "READ_MSG_" + code.substr(1, code.size() - 2) + suffix;
}

} // namespace transport::codes
