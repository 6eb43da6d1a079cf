// The chat's texts: the teacher line's header over any calendar fields, and the student's line as
// it goes to the client, within the chat request.
#include "chat/ChatText.h"

#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

std::string repeat(const std::string& unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += unit;
    return out;
}

TEST(ChatText, HeaderWireTextAndTheRequestLimit) {
    std::tm at{};
    at.tm_year = 2024 - 1900;
    at.tm_mon = 2;
    at.tm_mday = 7;
    at.tm_hour = 9;
    at.tm_min = 5;
    at.tm_sec = 3;
    EXPECT_EQ(chat::teacherHeader(at), "[2024-03-07 9:05:03] From Olvex Teacher\n");
    EXPECT_EQ(chat::wireText("a,b"), "a&comma;b\n");
    // Every line the window lets through (under 512 UTF-16 units) fits the chat request, the worst
    // case of 511 commas (3577 units once widened) included.
    EXPECT_TRUE(chat::withinLineLimit(repeat(",", 511)));
    EXPECT_TRUE(chat::fitsChatRequest(chat::wireText(repeat(",", 511))));
    EXPECT_TRUE(chat::fitsChatRequest(chat::wireText(repeat("\xEA\xB0\x80", 511))));
    EXPECT_FALSE(chat::withinLineLimit(repeat(",", 512)));
    EXPECT_FALSE(chat::withinLineLimit(repeat("x", 510) + "\xF0\x9F\x98\x80")) << "two units";
    EXPECT_FALSE(chat::fitsChatRequest(chat::wireText(repeat(",", 512))));
}

TEST(ChatText, CalendarFieldsOutOfRangeNeitherOverflowNorLeaveTheMonthsOfAYear) {
    struct Case {
        int year;
        int month;
        std::string stamp;
    };
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    for (const Case& c :
         {Case{124, kMax, "[2024-12-"}, Case{124, -5, "[2024-01-"}, Case{124, 12, "[2024-12-"},
          Case{kMax, 0, "[2147485547-01-"}, Case{kMin, 11, "[-2147481748-12-"}}) {
        std::tm at{};
        at.tm_year = c.year;
        at.tm_mon = c.month;
        at.tm_mday = 7;
        EXPECT_EQ(chat::teacherHeader(at).rfind(c.stamp, 0), 0u) << c.year << "/" << c.month;
    }
}

} // namespace
