// What the login window's three fields may hold: the per-keystroke filter and the whole-field
// check at the login press, as pure functions over UTF-8 text. The window calls them on the main
// thread; they keep no state, so any thread may.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace login {

// Field tags of the login window; the filter picks its rule by tag.
constexpr int kTagTeacherId = 0;
constexpr int kTagSlot = 1;
constexpr int kTagName = 2;

// Teacher ID and name stay shorter than this many UTF-16 units; the slot shorter than its limit.
constexpr std::size_t kTextFieldUnitLimit = 20;
constexpr std::size_t kSlotFieldUnitLimit = 3;

// Localised keys of the login press's validation messages.
constexpr const char* kEmptyInputKey = "ZQ_VALIDATION_EMPTY_INPUT";
constexpr const char* kInvalidInputKey = "ZQ_VALIDATION_INVALID_INPUT";

// True for the characters the teacher-ID and name fields refuse (query and command delimiters,
// currency signs and the like).
bool isForbiddenCharacter(char32_t codePoint);

// Decimal value of a digit of any script (ASCII, full-width, Arabic-Indic, Devanagari, ...), or -1.
int decimalDigitValue(char32_t codePoint);

// True for white space and line breaks (Unicode space separators, tab, line and paragraph breaks).
bool isWhiteSpaceOrNewline(char32_t codePoint);

// Length of the text in UTF-16 code units, the unit the field limits count in.
std::size_t utf16Length(std::string_view utf8);

// The per-keystroke filter (text changed in the field with this tag): answers the text the field
// keeps. A text that breaks its field's rule loses its last character (a whole character, never
// half a surrogate pair); other tags keep the text. Invalid UTF-8 sequences become U+FFFD.
std::string filterFieldText(int tag, std::string_view text);

// The same character and length rules applied to a whole text (a paste can slip past the
// per-keystroke filter). Invalid UTF-8 is never allowed.
bool isFieldTextAllowed(int tag, std::string_view text);

// The text without any white space or line break.
std::string removeWhiteSpaceAndNewlines(std::string_view text);

// The slot's digits read as a number, digits of any script by their decimal value; empty when the
// text is empty or holds anything but digits.
std::optional<int> slotValue(std::string_view text);

// The login press's view of the fields, taken once and used by every later step.
struct LoginInput {
    std::string teacherId; // without white space; the window puts it back into its field
    std::string name;
    std::string slot; // the slot as ASCII digits, for the settings and the wire
    int slotNumber = 0;
};

struct LoginInputCheck {
    bool ok = false;
    std::string messageKey; // localised key of the message box when !ok
    LoginInput input;
};

// Steps of the login press that need no window: strips the teacher ID, refuses an empty field
// (kEmptyInputKey), then any field whose whole text breaks its rule (kInvalidInputKey).
LoginInputCheck checkLoginInput(std::string_view teacherIdText, std::string_view nameText,
                                std::string_view slotText);

} // namespace login
