#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "support/CaseName.h"
#include "transport/CUtil.h"
#include "transport/PacketCodec.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace transport {
namespace {

TEST(CUtilTest, U8ToU32EmptyYieldsOnlyTerminator) {
    CUtil util;
    std::unique_ptr<std::uint32_t[]> out;
    ASSERT_TRUE(util.U8ToU32("", out));
    ASSERT_TRUE(out);
    EXPECT_EQ(out[0], 0u);
}

// Whether a body the peer sent parses; a malformed one is dropped with a log line.
bool parses(std::vector<std::uint8_t> body) {
    SReceiveData record;
    ReceiveBuffers buffers;
    return ParseBody(body.data(), body.size(), record, buffers) != ParseResult::kDropped;
}

// A text field of `units` units (no digest), over the work area when units > 1023.
std::vector<std::uint8_t> textBodyOfUnits(std::uint32_t units) {
    const std::uint32_t bytes = 2 * units;
    std::vector<std::uint8_t> body = {1, 0, 0, 0, 0};
    for (int shift = 0; shift < 32; shift += 8)
        body.push_back(static_cast<std::uint8_t>(bytes >> shift));
    body.resize(body.size() + bytes, 0x41);
    return body;
}

// A failed conversion, and a body dropped as malformed, is logged, never printed on standard
// error, and a flood of them reaches the log a few times a second, the next line telling how many
// were held back.
TEST(CUtilTest, ConversionFailuresAreLoggedAtABoundedRate) {
    struct Case {
        const char* name;
        std::function<bool()> convert;
    };
    const std::vector<Case> cases = {
        {"U8ToU32:iconv",
         [] {
             CUtil util;
             std::unique_ptr<std::uint32_t[]> out;
             return util.U8ToU32("ab\xC3(", out) || out;
         }},
        {"U32ToU8:iconv",
         [] {
             CUtil util;
             const std::uint32_t bad[] = {0x41, 0xD800, 0};
             std::unique_ptr<char[]> out;
             return util.U32ToU8(bad, out) || out;
         }},
        {"[ZQ]dropped packet of type 4",
         [] {
             return parses({4, 0xFF, 0xFF, 0xFF, 0x7F});
         }},
        {"[ZQ]dropped packet of type 17",
         [] {
             return parses({17, 0x10, 0, 0, 0, 0, 0, 0, 0});
         }},
        {"[ZQ]dropped packet of type 1", [] { return parses(textBodyOfUnits(1025)); }},
    };
    constexpr int kAttempts = 50;
    constexpr int kLinesPerSecond = 3;
    for (const Case& c : cases) {
        platform::ManualRunLoop loop;
        loop.install();
        loop.advance(10.0); // a second of its own, away from the previous case's
        std::vector<std::string> lines;
        platform::setLogSink([&lines](const std::string& line) { lines.push_back(line); });
        testing::internal::CaptureStderr();
        for (int i = 0; i < kAttempts; ++i)
            EXPECT_FALSE(c.convert()) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
        EXPECT_EQ(lines.size(), static_cast<std::size_t>(kLinesPerSecond)) << c.name;
        for (const auto& line : lines)
            EXPECT_EQ(line.rfind(c.name, 0), 0u) << line;
        loop.advance(1.0);
        lines.clear();
        c.convert();
        ASSERT_EQ(lines.size(), 1u) << c.name;
        EXPECT_NE(
            lines[0].find("(" + std::to_string(kAttempts - kLinesPerSecond) + " more like it held back)"),
            std::string::npos)
            << lines[0];
        platform::setLogSink({});
    }
}

TEST(CUtilTest, SupplementaryCharacterIsOneCodePoint) {
    CUtil util;
    std::unique_ptr<std::uint32_t[]> out;
    ASSERT_TRUE(util.U8ToU32("a\xF0\x90\x80\x80z", out)); // a U+10000 z
    EXPECT_EQ(out[0], 0x61u);
    EXPECT_EQ(out[1], 0x10000u);
    EXPECT_EQ(out[2], 0x7Au);
    EXPECT_EQ(out[3], 0u);
}

TEST(CUtilTest, RoundTripThroughCodePoints) {
    CUtil util;
    const std::string korean = "\xED\x95\x9C\xEA\xB8\x80 ok"; // two syllables
    std::unique_ptr<std::uint32_t[]> points;
    ASSERT_TRUE(util.U8ToU32(korean.c_str(), points));
    std::unique_ptr<char[]> back;
    ASSERT_TRUE(util.U32ToU8(points.get(), back));
    EXPECT_EQ(std::string(back.get()), korean);
}

TEST(U16StrLenTest, CountsUnitsBeforeZero) {
    const std::uint16_t empty[] = {0, 5};
    const std::uint16_t three[] = {1, 2, 3, 0, 4};
    EXPECT_EQ(U16StrLen(empty), 0u);
    EXPECT_EQ(U16StrLen(three), 3u);
}

struct SplitCase {
    std::string text;
    std::vector<std::string> fields; // empty: null result, text unchanged
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.text; }
};

class SplitStringTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, SplitsAtComma) {
    std::string text = GetParam().text;
    int count = -1;
    auto fields = SplitString(text, ',', count);
    const auto& expected = GetParam().fields;
    if (expected.empty()) {
        EXPECT_FALSE(fields);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(text, GetParam().text);
        return;
    }
    ASSERT_TRUE(fields);
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(fields[i], expected[i]) << "field " << i;
    EXPECT_TRUE(text.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, SplitStringTest,
                         testing::Values(SplitCase{"true", {}}, SplitCase{"", {}},
                                         SplitCase{"12,34", {"12", "34"}}, SplitCase{"a,,b", {"a", "", "b"}},
                                         SplitCase{"a,", {"a", ""}}, SplitCase{",", {"", ""}},
                                         SplitCase{"3,5,7", {"3", "5", "7"}}),
                         testsupport::PrintedCaseName());

TEST(WireUnitsTest, SupplementaryCharacterBecomesSurrogatePair) {
    std::vector<std::uint16_t> units;
    ASSERT_TRUE(Utf8ToWireUnits("a\xF0\x9F\x98\x80", units)); // a U+1F600
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x61, 0xD83D, 0xDE00}));
    std::string back;
    ASSERT_TRUE(WireUnitsToUtf8(units.data(), units.size(), back));
    EXPECT_EQ(back, "a\xF0\x9F\x98\x80");
}

TEST(WireUnitsTest, LoneSurrogatesAreRejected) {
    const std::uint16_t high[] = {0x41, 0xD83D};
    const std::uint16_t low[] = {0xDE00, 0x41};
    const std::uint16_t highThenText[] = {0xD83D, 0x41};
    std::string text;
    EXPECT_FALSE(WireUnitsToUtf8(high, 2, text));
    EXPECT_FALSE(WireUnitsToUtf8(low, 2, text));
    EXPECT_FALSE(WireUnitsToUtf8(highThenText, 2, text));
}

TEST(WireUnitsTest, StopsAtZeroUnit) {
    const std::uint16_t units[] = {0x41, 0, 0x42};
    std::string text;
    ASSERT_TRUE(WireUnitsToUtf8(units, 3, text));
    EXPECT_EQ(text, "A");
}

} // namespace
} // namespace transport
