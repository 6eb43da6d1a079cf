#include "login/LoginInputRules.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace login {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr int kDigitsPerRun = 10;

// The teacher-ID and name fields refuse these (the table lists the tilde twice; once is enough).
constexpr std::array<char32_t, 36> kForbidden = {
    U',', U'<', U'>', U'&', U'|',  U':',  U'/', U'*',   U'?',   U'~',   U'`',   U'!',
    U'@', U'#', U'$', U'%', U'^',  U'(',  U')', U'+',   U'=',   U'-',   U'{',   U'}',
    U'[', U']', U';', U'"', U'\'', U'\\', U'.', 0x20A9, 0x00A5, 0x00A3, 0x00A7, 0x2026,
};

// Every run of decimal digits (Unicode category Nd) is ten consecutive code points from zero to
// nine; these are the zeros of all runs (Unicode 14).
constexpr std::array<char32_t, 66> kDigitZeros = {
    0x30,    0x660,   0x6F0,   0x7C0,   0x966,   0x9E6,   0xA66,   0xAE6,   0xB66,   0xBE6,   0xC66,
    0xCE6,   0xD66,   0xDE6,   0xE50,   0xED0,   0xF20,   0x1040,  0x1090,  0x17E0,  0x1810,  0x1946,
    0x19D0,  0x1A80,  0x1A90,  0x1B50,  0x1BB0,  0x1C40,  0x1C50,  0xA620,  0xA8D0,  0xA900,  0xA9D0,
    0xA9F0,  0xAA50,  0xABF0,  0xFF10,  0x104A0, 0x10D30, 0x11066, 0x110F0, 0x11136, 0x111D0, 0x112F0,
    0x11450, 0x114D0, 0x11650, 0x116C0, 0x11730, 0x118E0, 0x11950, 0x11C50, 0x11D50, 0x11DA0, 0x16A60,
    0x16AC0, 0x16B50, 0x1D7CE, 0x1D7D8, 0x1D7E2, 0x1D7EC, 0x1D7F6, 0x1E140, 0x1E2F0, 0x1E950, 0x1FBF0,
};

// Decodes UTF-8; invalid or overlong sequences, surrogates and values past U+10FFFF become
// U+FFFD (lenient) or fail the whole text (strict).
std::optional<std::u32string> decodeUtf8(std::string_view text, bool strict) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = kFirstSupplementary;
        }
        bool valid = length != 0 && length <= text.size() - i;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        valid = valid && value >= minimum && value <= kMaxCodePoint &&
                !(value >= kSurrogateFirst && value <= kSurrogateLast);
        if (!valid) {
            if (strict)
                return std::nullopt;
            out.push_back(kReplacementCharacter);
            ++i; // resynchronise on the next byte
            continue;
        }
        out.push_back(value);
        i += length;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < kFirstSupplementary) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(out, c);
    return out;
}

std::size_t utf16Units(const std::u32string& text) {
    std::size_t units = 0;
    for (char32_t c : text)
        units += c >= kFirstSupplementary ? 2 : 1;
    return units;
}

// The rule of one field over decoded text; tags without a rule allow everything.
bool followsRule(int tag, const std::u32string& text) {
    const std::size_t units = utf16Units(text);
    switch (tag) {
    case kTagTeacherId:
    case kTagName:
        return units < kTextFieldUnitLimit && std::none_of(text.begin(), text.end(), isForbiddenCharacter);
    case kTagSlot:
        return units < kSlotFieldUnitLimit &&
               std::all_of(text.begin(), text.end(), [](char32_t c) { return decimalDigitValue(c) >= 0; });
    default:
        return true;
    }
}

} // namespace

bool isForbiddenCharacter(char32_t codePoint) {
    return std::find(kForbidden.begin(), kForbidden.end(), codePoint) != kForbidden.end();
}

int decimalDigitValue(char32_t codePoint) {
    // The last zero not above the code point starts the only run that can hold it.
    auto it = std::upper_bound(kDigitZeros.begin(), kDigitZeros.end(), codePoint);
    if (it == kDigitZeros.begin())
        return -1;
    const char32_t offset = codePoint - *(it - 1);
    return offset < kDigitsPerRun ? static_cast<int>(offset) : -1;
}

bool isWhiteSpaceOrNewline(char32_t c) {
    switch (c) {
    case 0x09: // tab
    case 0x0A: // line feed, vertical tab, form feed, carriage return
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85: // next line
    case 0xA0:
    case 0x1680:
    case 0x202F:
    case 0x205F:
    case 0x2028: // line and paragraph separators
    case 0x2029:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A; // the typographic spaces
    }
}

std::size_t utf16Length(std::string_view utf8) {
    return utf16Units(*decodeUtf8(utf8, false));
}

std::string filterFieldText(int tag, std::string_view text) {
    std::u32string decoded = *decodeUtf8(text, false);
    if (!followsRule(tag, decoded) && !decoded.empty())
        decoded.pop_back();
    return encodeUtf8(decoded);
}

bool isFieldTextAllowed(int tag, std::string_view text) {
    const auto decoded = decodeUtf8(text, true);
    return decoded && followsRule(tag, *decoded);
}

std::string removeWhiteSpaceAndNewlines(std::string_view text) {
    std::u32string decoded = *decodeUtf8(text, false);
    std::erase_if(decoded, isWhiteSpaceOrNewline);
    return encodeUtf8(decoded);
}

std::optional<int> slotValue(std::string_view text) {
    const auto decoded = decodeUtf8(text, true);
    if (!decoded || decoded->empty() || !followsRule(kTagSlot, *decoded))
        return std::nullopt;
    int value = 0;
    for (char32_t c : *decoded)
        value = value * kDigitsPerRun + decimalDigitValue(c); // at most two digits: no overflow
    return value;
}

LoginInputCheck checkLoginInput(std::string_view teacherIdText, std::string_view nameText,
                                std::string_view slotText) {
    LoginInputCheck check;
    check.input.teacherId = removeWhiteSpaceAndNewlines(teacherIdText);
    check.input.name = std::string(nameText);
    if (check.input.teacherId.empty() || nameText.empty() || slotText.empty()) {
        check.messageKey = kEmptyInputKey;
        return check;
    }
    const auto slot = slotValue(slotText);
    if (!slot || !isFieldTextAllowed(kTagTeacherId, check.input.teacherId) ||
        !isFieldTextAllowed(kTagName, nameText)) {
        check.messageKey = kInvalidInputKey;
        return check;
    }
    check.input.slotNumber = *slot;
    const std::u32string slotDigits = *decodeUtf8(slotText, true); // valid: slotValue() accepted it
    for (char32_t c : slotDigits)
        check.input.slot.push_back(static_cast<char>('0' + decimalDigitValue(c)));
    check.ok = true;
    return check;
}

} // namespace login
