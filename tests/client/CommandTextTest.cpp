// Reading command parameters and formatting the outgoing command texts.
#include "client/CommandText.h"

#include "client/CommandCatalogue.h"

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

} // namespace
