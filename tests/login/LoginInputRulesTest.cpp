#include "login/LoginInputRules.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace {

using login::kTagName;
using login::kTagSlot;
using login::kTagTeacherId;

std::string repeat(const std::string& unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += unit;
    return out;
}

// The characters the teacher-ID and name fields refuse, written out independently of the code.
const std::vector<std::string> kForbiddenTexts = {
    ",", "<", ">", "&",  "|", ":",  "/", "*",      "?",      "~",      "`",      "!",
    "@", "#", "$", "%",  "^", "(",  ")", "+",      "=",      "-",      "{",      "}",
    "[", "]", ";", "\"", "'", "\\", ".", "\u20A9", "\u00A5", "\u00A3", "\u00A7", "\u2026",
};

TEST(LoginInputRules, EveryForbiddenCharacterIsRemovedWhenTypedAndRefusedInAPaste) {
    ASSERT_EQ(kForbiddenTexts.size(), 36u);
    for (const auto& c : kForbiddenTexts) {
        for (int tag : {kTagTeacherId, kTagName}) {
            SCOPED_TRACE("char " + c + " tag " + std::to_string(tag));
            EXPECT_EQ(login::filterFieldText(tag, "ab" + c), "ab");
            EXPECT_FALSE(login::isFieldTextAllowed(tag, c + "ab"));
        }
    }
}

struct FilterCase {
    const char* what;
    int tag;
    std::string typed;
    std::string kept;
    friend void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.what; }
};

class FilterFieldText : public testing::TestWithParam<FilterCase> {};

TEST_P(FilterFieldText, KeepsWhatTheFieldAllows) {
    const auto& c = GetParam();
    EXPECT_EQ(login::filterFieldText(c.tag, c.typed), c.kept) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterFieldText,
    testing::Values(
        FilterCase{"plain id", kTagTeacherId, "teacher01", "teacher01"},
        FilterCase{"19 units fit", kTagTeacherId, repeat("a", 19), repeat("a", 19)},
        FilterCase{"20th unit removed", kTagTeacherId, repeat("a", 20), repeat("a", 19)},
        FilterCase{"25-unit paste loses only its last unit", kTagTeacherId, repeat("b", 25), repeat("b", 24)},
        FilterCase{"space allowed in id", kTagTeacherId, "t 1", "t 1"},
        FilterCase{"comma in name", kTagName, "Kim,", "Kim"},
        FilterCase{"hyphen in name", kTagName, "Kim-", "Kim"},
        FilterCase{"space in name", kTagName, "Kim Lee ", "Kim Lee "},
        FilterCase{"19 Hangul syllables fit", kTagName, repeat("\uD64D", 19), repeat("\uD64D", 19)},
        FilterCase{"20th Hangul syllable removed", kTagName, repeat("\uD64D", 20), repeat("\uD64D", 19)},
        // An emoji is two UTF-16 units: 18 + 2 reaches the limit, and all of it goes, not half.
        FilterCase{"astral character removed whole", kTagName, repeat("a", 18) + "\U0001F600",
                   repeat("a", 18)},
        FilterCase{"astral character that fits", kTagName, repeat("a", 17) + "\U0001F600",
                   repeat("a", 17) + "\U0001F600"},
        FilterCase{"broken UTF-8 made whole", kTagName, "ab\xFF", "ab\uFFFD"},
        FilterCase{"one digit", kTagSlot, "7", "7"}, FilterCase{"two digits", kTagSlot, "12", "12"},
        FilterCase{"third digit removed", kTagSlot, "123", "12"},
        FilterCase{"letter removed", kTagSlot, "1a", "1"},
        FilterCase{"full-width digits", kTagSlot, "\uFF11\uFF12", "\uFF11\uFF12"},
        FilterCase{"Arabic-Indic digit", kTagSlot, "\u0663", "\u0663"},
        FilterCase{"full-width letter removed", kTagSlot, "1\uFF41", "1"},
        FilterCase{"unknown tag untouched", 7, "a,b-c", "a,b-c"}),
    testsupport::PrintedCaseName());

struct AllowedCase {
    const char* what;
    int tag;
    std::string text;
    bool allowed;
    friend void PrintTo(const AllowedCase& c, std::ostream* os) { *os << c.what; }
};

class IsFieldTextAllowed : public testing::TestWithParam<AllowedCase> {};

TEST_P(IsFieldTextAllowed, AppliesTheRuleToTheWholeText) {
    const auto& c = GetParam();
    EXPECT_EQ(login::isFieldTextAllowed(c.tag, c.text), c.allowed) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsFieldTextAllowed,
    testing::Values(AllowedCase{"plain", kTagTeacherId, "teacher01", true},
                    AllowedCase{"forbidden in the middle", kTagTeacherId, "tea,cher", false},
                    AllowedCase{"ampersand in the middle", kTagTeacherId, "a&val3=b", false},
                    AllowedCase{"19 units", kTagName, repeat("a", 19), true},
                    AllowedCase{"20 units", kTagName, repeat("a", 20), false},
                    AllowedCase{"Korean name", kTagName, "\uD64D\uAE38\uB3D9", true},
                    AllowedCase{"invalid UTF-8", kTagName, "ab\xC3", false},
                    AllowedCase{"overlong UTF-8 slash", kTagName, "a\xC0\xAF", false},
                    AllowedCase{"encoded surrogate", kTagName, "a\xED\xA0\x80", false},
                    AllowedCase{"slot digits", kTagSlot, "05", true},
                    AllowedCase{"slot of three", kTagSlot, "123", false},
                    AllowedCase{"slot sign", kTagSlot, "-1", false},
                    AllowedCase{"slot Devanagari", kTagSlot, "\u0967\u0968", true}),
    testsupport::PrintedCaseName());

TEST(LoginInputRules, SlotDigitsOfAnyScriptReadAsTheirValues) {
    EXPECT_EQ(login::slotValue("25"), 25);
    EXPECT_EQ(login::slotValue("\uFF12\uFF15"), 25);                   // full-width
    EXPECT_EQ(login::slotValue("\u0663\u0664"), 34);                   // Arabic-Indic
    EXPECT_EQ(login::slotValue("\u06F7"), 7);                          // extended Arabic-Indic
    EXPECT_EQ(login::slotValue("\u0966\u096F"), 9);                    // Devanagari
    EXPECT_EQ(login::slotValue("\U0001D7CE\U0001D7CF"), std::nullopt); // two astral digits: 4 units
    EXPECT_EQ(login::slotValue("\U0001D7D7"), 9);                      // mathematical bold nine
    EXPECT_EQ(login::slotValue(""), std::nullopt);
    EXPECT_EQ(login::slotValue("1a"), std::nullopt);
    EXPECT_EQ(login::slotValue("\u00B2"), std::nullopt); // superscript two is no decimal digit
    EXPECT_EQ(login::decimalDigitValue(U'/'), -1);
    EXPECT_EQ(login::decimalDigitValue(U':'), -1);
    EXPECT_EQ(login::decimalDigitValue(0x66A), -1); // Arabic percent sign, just past the run
}

TEST(LoginInputRules, LoginPressStripsEveryKindOfWhiteSpaceFromTheTeacherId) {
    const auto check = login::checkLoginInput(" \ttea cher\u300001\u00A0\r\n", "Kim", "3");
    ASSERT_TRUE(check.ok);
    EXPECT_EQ(check.input.teacherId, "teacher01");
    EXPECT_EQ(check.input.name, "Kim");
    EXPECT_EQ(check.input.slot, "3");
    EXPECT_EQ(check.input.slotNumber, 3);
}

struct PressCase {
    const char* what;
    std::string teacherId, name, slot;
    std::string messageKey; // empty: accepted
    friend void PrintTo(const PressCase& c, std::ostream* os) { *os << c.what; }
};

class CheckLoginInput : public testing::TestWithParam<PressCase> {};

TEST_P(CheckLoginInput, RefusesEmptyAndForbiddenFields) {
    const auto& c = GetParam();
    const auto check = login::checkLoginInput(c.teacherId, c.name, c.slot);
    EXPECT_EQ(check.ok, c.messageKey.empty()) << c.what;
    EXPECT_EQ(check.messageKey, c.messageKey) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckLoginInput,
    testing::Values(PressCase{"all good", "t1", "Kim", "3", ""},
                    PressCase{"id only white space", " \n ", "Kim", "3", "ZQ_VALIDATION_EMPTY_INPUT"},
                    PressCase{"no name", "t1", "", "3", "ZQ_VALIDATION_EMPTY_INPUT"},
                    PressCase{"no slot", "t1", "Kim", "", "ZQ_VALIDATION_EMPTY_INPUT"},
                    PressCase{"pasted query delimiter", "t1&val3=x", "Kim", "3",
                              "ZQ_VALIDATION_INVALID_INPUT"},
                    PressCase{"pasted comma in name", "t1", "Kim,Lee", "3", "ZQ_VALIDATION_INVALID_INPUT"},
                    PressCase{"25-unit paste", repeat("x", 25), "Kim", "3", "ZQ_VALIDATION_INVALID_INPUT"},
                    PressCase{"19 units after stripping", repeat("x ", 19), "Kim", "3", ""},
                    PressCase{"three-digit slot", "t1", "Kim", "123", "ZQ_VALIDATION_INVALID_INPUT"},
                    PressCase{"letter slot", "t1", "Kim", "a", "ZQ_VALIDATION_INVALID_INPUT"}),
    testsupport::PrintedCaseName());

TEST(LoginInputRules, LoginPressGivesTheSlotInAsciiDigits) {
    const auto check = login::checkLoginInput("t1", "Kim", "\uFF10\uFF17");
    ASSERT_TRUE(check.ok);
    EXPECT_EQ(check.input.slot, "07");
    EXPECT_EQ(check.input.slotNumber, 7);
}

} // namespace
