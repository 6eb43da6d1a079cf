// The client links' code tables, row by row, against the lists written out in LinkCodes.h.
#include "transport/CodeTable.h"

#include "LinkCodes.h"

#include <gtest/gtest.h>

namespace transport {
namespace {

struct TableCase {
    const char* link;
    const RevCallBackTable& table;
    const std::vector<std::string>& codes;
    const std::vector<codes::BinaryRow>& binary;
    const char* suffix;
    std::size_t rows;
};

TEST(CodeTableTest, EveryRowMatchesTheWrittenOutList) {
    const TableCase cases[] = {
        {"direct", TCPServerClientCodeTable(), codes::kDirect, codes::kDirectBinary, "", 69},
        {"relay", TCP_RelayServerConnCodeTable(), codes::kRelay, codes::kRelayBinary, "_RELAY", 68},
    };
    for (const TableCase& c : cases) {
        ASSERT_EQ(c.codes.size() + c.binary.size(), c.rows) << c.link; // the list itself
        ASSERT_EQ(c.table.size(), c.rows) << c.link;
        for (std::size_t i = 0; i < c.codes.size(); ++i) {
            EXPECT_EQ(c.table[i].nType, 1u) << c.link << " row " << i;
            EXPECT_EQ(c.table[i].strCode, c.codes[i]) << c.link << " row " << i;
            EXPECT_EQ(c.table[i].strName, codes::nameOf(c.codes[i], c.suffix)) << c.link << " row " << i;
        }
        for (std::size_t i = 0; i < c.binary.size(); ++i) {
            const RevCallBackRow& row = c.table[c.codes.size() + i];
            EXPECT_EQ(row.nType, c.binary[i].type) << c.link << " binary row " << i;
            EXPECT_EQ(row.strCode, "") << c.link << " binary row " << i;
            EXPECT_EQ(row.strName, c.binary[i].name) << c.link << " binary row " << i;
        }
    }
}

// Lookups by type and code: the first row wins, codes match whole, binary types ignore the code.
TEST(CodeTableTest, FindsTheFirstMatchingRowOnly) {
    struct Case {
        const RevCallBackTable& table;
        std::int32_t type;
        const char* code;
        const char* name; // nullptr: no row
    };
    const Case cases[] = {
        {TCPServerClientCodeTable(), 1, "[MV00050]", "READ_MSG_MV00050"},
        {TCPServerClientCodeTable(), 1, "[MV00008]", nullptr},
        {TCPServerClientCodeTable(), 1, "[MV0005]", nullptr},
        {TCPServerClientCodeTable(), 1, "[MV00050] ", nullptr},
        {TCPServerClientCodeTable(), 9, "[MV00050]", "READ_MSG_FILE"},
        {TCPServerClientCodeTable(), 2, "", nullptr},
        {TCP_RelayServerConnCodeTable(), 1, "[MV00008]", "READ_MSG_MV00008_RELAY"},
        {TCP_RelayServerConnCodeTable(), 17, "", nullptr},
        {TCP_RelayServerConnCodeTable(), 4, "", nullptr},
    };
    for (const Case& c : cases) {
        const RevCallBackRow* row = FindCodeRow(c.table, c.type, c.code);
        if (c.name == nullptr) {
            EXPECT_EQ(row, nullptr) << c.type << " " << c.code;
            continue;
        }
        ASSERT_NE(row, nullptr) << c.type << " " << c.code;
        EXPECT_EQ(row->strName, c.name);
    }
    // The repeated pair: the first "[MV00102]" row is the one found.
    const RevCallBackTable& relay = TCP_RelayServerConnCodeTable();
    EXPECT_EQ(FindCodeRow(relay, 1, "[MV00102]"), &relay[33]);
}

} // namespace
} // namespace transport
