#include "viewer/ScanCodeKeyboard.h"

#include "platform/Log.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace viewer {

namespace {
// Rows 0-76 carry their row number's decimal digits read as hexadecimal as layout position.
constexpr std::uint32_t pos(unsigned row) {
    return (row / 10) * 16 + row % 10;
}
constexpr unsigned kUnusedKeyCode = 255;
} // namespace

const std::array<ScanCodeRow, kScanCodeRows> kScanCodeTable = {{
    {"01", pos(0), 53},
    {"3B", pos(1), 122},
    {"3C", pos(2), 120},
    {"3D", pos(3), 99},
    {"3E", pos(4), 118},
    {"3F", pos(5), 96},
    {"40", pos(6), 97},
    {"41", pos(7), 98},
    {"42", pos(8), 100},
    {"43", pos(9), 101},
    {"44", pos(10), 109},
    {"57", pos(11), 103},
    {"58", pos(12), 111},
    {"FF", pos(13), 105},
    {"FF", pos(14), kUnusedKeyCode},
    {"FF", pos(15), kUnusedKeyCode},
    {"29", pos(16), 50},
    {"02", pos(17), 18},
    {"03", pos(18), 19},
    {"04", pos(19), 20},
    {"05", pos(20), 21},
    {"06", pos(21), 23},
    {"07", pos(22), 22},
    {"08", pos(23), 26},
    {"09", pos(24), 28},
    {"0A", pos(25), 25},
    {"0B", pos(26), 29},
    {"0C", pos(27), 27},
    {"0D", pos(28), 24},
    {"0E", pos(29), 51},
    {"0F", pos(30), 48},
    {"10", pos(31), 12},
    {"11", pos(32), 13},
    {"12", pos(33), 14},
    {"13", pos(34), 15},
    {"14", pos(35), 17},
    {"15", pos(36), 16},
    {"16", pos(37), 32},
    {"17", pos(38), 34},
    {"18", pos(39), 31},
    {"19", pos(40), 35},
    {"1A", pos(41), 33},
    {"1B", pos(42), 30},
    {"2B", pos(43), 42},
    {"3A", pos(44), 57},
    {"1E", pos(45), 0},
    {"1F", pos(46), 1},
    {"20", pos(47), 2},
    {"21", pos(48), 3},
    {"22", pos(49), 5},
    {"23", pos(50), 4},
    {"24", pos(51), 38},
    {"25", pos(52), 40},
    {"26", pos(53), 37},
    {"27", pos(54), 41},
    {"28", pos(55), 39},
    {"1C", pos(56), 36},
    {"2A", pos(57), 56},
    {"2C", pos(58), 6},
    {"2D", pos(59), 7},
    {"2E", pos(60), 8},
    {"2F", pos(61), 9},
    {"30", pos(62), 11},
    {"31", pos(63), 45},
    {"32", pos(64), 46},
    {"33", pos(65), 43},
    {"34", pos(66), 47},
    {"35", pos(67), 44},
    {"2A", pos(68), 60},
    {"1D", pos(69), 59},
    {"E05B", pos(70), 55},
    {"38", pos(71), 58},
    {"E071", pos(72), 102},
    {"39", pos(73), 49},
    {"E072", pos(74), 104},
    {"38", pos(75), 58},
    {"1D", pos(76), 62},
    {"E048", 0xFF06, 126},
    {"E050", 0xFF07, 125},
    {"E04B", 0xFF08, 123},
    {"E04D", 0xFF09, 124},
    {"E052", 0xFF00, 114},
    {"E047", 0xFF01, 115},
    {"E049", 0xFF02, 116},
    {"E053", 0xFF03, 117},
    {"E04F", 0xFF04, 119},
    {"E051", 0xFF05, 121},
    {"E05D", 0xFF0A, 110},
}};

namespace {
// X key codes are Linux evdev codes + 8; the pairs map the PC keyboard onto the table's keys.
// Korean keyboards' Hangul key is the input-language key, Hanja the other JIS-row key.
constexpr int kXOffset = 8;
constexpr std::pair<int, int> kEvdevToKeyCode[] = {
    {1, 53},    {59, 122},  {60, 120},  {61, 99},   {62, 118},  {63, 96},   {64, 97},   {65, 98},
    {66, 100},  {67, 101},  {68, 109},  {87, 103},  {88, 111},  {183, 105}, {184, 107}, {41, 50},
    {2, 18},    {3, 19},    {4, 20},    {5, 21},    {6, 23},    {7, 22},    {8, 26},    {9, 28},
    {10, 25},   {11, 29},   {12, 27},   {13, 24},   {14, 51},   {15, 48},   {16, 12},   {17, 13},
    {18, 14},   {19, 15},   {20, 17},   {21, 16},   {22, 32},   {23, 34},   {24, 31},   {25, 35},
    {26, 33},   {27, 30},   {43, 42},   {58, 57},   {30, 0},    {31, 1},    {32, 2},    {33, 3},
    {34, 5},    {35, 4},    {36, 38},   {37, 40},   {38, 37},   {39, 41},   {40, 39},   {28, 36},
    {42, 56},   {44, 6},    {45, 7},    {46, 8},    {47, 9},    {48, 11},   {49, 45},   {50, 46},
    {51, 43},   {52, 47},   {53, 44},   {54, 60},   {29, 59},   {125, 55},  {126, 54},  {56, 58},
    {100, 61},  {123, 102}, {57, 49},   {122, 104}, {97, 62},   {103, 126}, {108, 125}, {105, 123},
    {106, 124}, {110, 114}, {102, 115}, {104, 116}, {111, 117}, {107, 119}, {109, 121}, {127, 110},
};
} // namespace

int keyCodeFromX(int xKeyCode) {
    const int evdev = xKeyCode - kXOffset;
    for (const auto& [code, keyCode] : kEvdevToKeyCode)
        if (code == evdev)
            return keyCode;
    return keycodes::kNone;
}

bool isModifierKey(int keyCode) {
    switch (keyCode) {
    case keycodes::kCommand:
    case keycodes::kRightCommand:
    case keycodes::kShift:
    case keycodes::kCapsLock:
    case keycodes::kOption:
    case keycodes::kControl:
    case keycodes::kRightShift:
    case keycodes::kRightOption:
    case keycodes::kRightControl:
        return true;
    default:
        return false;
    }
}

int ScanCodeKeyboard::getKeyCodeIdx(int keyCode) {
    for (std::size_t i = 0; i < kScanCodeTable.size(); ++i)
        if (kScanCodeTable[i].keyCode == keyCode)
            return static_cast<int>(i);
    return -1;
}

std::string ScanCodeKeyboard::getScancode(int keyCode) {
    const int idx = getKeyCodeIdx(keyCode);
    return idx < 0 ? std::string() : kScanCodeTable[static_cast<std::size_t>(idx)].scanText;
}

std::string ScanCodeKeyboard::breakCode(const std::string& scanText) {
    constexpr unsigned long kBreakBit = 0x80;
    const unsigned long value = std::strtoul(scanText.c_str(), nullptr, 16) | kBreakBit;
    char text[24];
    std::snprintf(text, sizeof(text), "%2lX", value);
    return text;
}

void ScanCodeKeyboard::setExtendedScanCode() {
    constexpr int kOrder[kModifierCount] = {keycodes::kControl, keycodes::kCommand, keycodes::kOption,
                                            keycodes::kShift};
    for (int m = 0; m < kModifierCount; ++m)
        if (m_bExtendedKey[static_cast<std::size_t>(m)])
            m_tmpScanCode += getScancode(kOrder[m]);
}

void ScanCodeKeyboard::setKeyDownExtendedScanCode() {
    constexpr int kOrder[kModifierCount] = {keycodes::kControl, keycodes::kCommand, keycodes::kOption,
                                            keycodes::kShift};
    for (int m = 0; m < kModifierCount; ++m)
        if (m_bExtendedKey[static_cast<std::size_t>(m)])
            m_tmpScanCode += breakCode(getScancode(kOrder[m]));
}

std::optional<std::string> ScanCodeKeyboard::keyDown(int keyCode) {
    const int idx = getKeyCodeIdx(keyCode);
    if (idx < 0)
        return std::nullopt;
    const std::string scan = kScanCodeTable[static_cast<std::size_t>(idx)].scanText;
    m_tmpKeyCode = scan;
    m_tmpScanCode = scan + breakCode(scan);
    std::string command;
    const bool anyHeld = m_bExtendedKey[0] || m_bExtendedKey[1] || m_bExtendedKey[2] || m_bExtendedKey[3];
    if (!anyHeld) {
        command = kKeyCommand + m_tmpScanCode;
        platform::logf("[ZQ]2eyboardData:%s", command.c_str());
    } else {
        platform::logf("Extended key true");
        m_tmpScanCode.clear();
        setExtendedScanCode();
        platform::logf("ExtendedScanCode key : %s", m_tmpScanCode.c_str());
        m_tmpScanCode += scan + breakCode(scan);
        setKeyDownExtendedScanCode();
        command = kKeyCommand + m_tmpScanCode;
        platform::logf("[ZQ]1KeyboardData:%s", command.c_str());
    }
    m_tmpScanCode.clear();
    return command;
}

std::optional<std::string> ScanCodeKeyboard::keyUp(int keyCode, std::uint64_t flags) const {
    const int idx = getKeyCodeIdx(keyCode);
    if (idx >= 0 && kScanCodeTable[static_cast<std::size_t>(idx)].position == kLanguageKeyPosition)
        return std::string(kLanguageCommand);
    if ((flags & keyflags::kControl) != 0 && keyCode == keycodes::kSpace)
        return std::string(kLanguageCommand);
    return std::nullopt;
}

std::optional<std::string> ScanCodeKeyboard::flagsChanged(int keyCode, std::uint64_t flags) {
    std::optional<std::string> command;
    const auto flagsText = static_cast<unsigned long>(flags);
    if ((flags & keyflags::kCapsLock) != 0 && keyCode == keycodes::kCapsLock)
        command = kLanguageCommand;
    struct Rule {
        Modifier modifier;
        std::uint64_t flag;
        int left;
        int right; // kNone when the right-hand key is not tracked
        const char* name;
    };
    constexpr Rule kRules[] = {
        {kControlHeld, keyflags::kControl, keycodes::kControl, keycodes::kRightControl, "CTRL"},
        {kCommandHeld, keyflags::kCommand, keycodes::kCommand, keycodes::kNone, "MAC"},
        {kOptionHeld, keyflags::kOption, keycodes::kOption, keycodes::kRightOption, "ALT"},
        {kShiftHeld, keyflags::kShift, keycodes::kShift, keycodes::kNone, "SHIFT"},
    };
    for (const Rule& rule : kRules) {
        const bool matches = keyCode == rule.left || (rule.right != keycodes::kNone && keyCode == rule.right);
        if (!matches)
            continue;
        // Each key of the pair counts on its own: letting go of one of two held Control keys
        // leaves Control held. A flags event for a key already down while its flag stays set is
        // that key's release (the other key of the pair still sets the flag).
        const bool flagSet = (flags & rule.flag) != 0;
        const bool pressed = flagSet && m_heldKeys.count(keyCode) == 0;
        if (pressed)
            m_heldKeys.insert(keyCode);
        else
            m_heldKeys.erase(keyCode);
        const bool held = m_heldKeys.count(rule.left) > 0 ||
                          (rule.right != keycodes::kNone && m_heldKeys.count(rule.right) > 0);
        m_bExtendedKey[rule.modifier] = held;
        platform::logf("[ZQ]%s %s%lu", rule.name, held ? "pressed" : "release", flagsText);
    }
    if (keyCode == keycodes::kReleaseAll) {
        platform::logf("[ZQ]keyCode0 release%lu", flagsText);
        releaseModifiers();
    }
    return command;
}

void ScanCodeKeyboard::releaseModifiers() {
    m_bExtendedKey.fill(false);
    m_heldKeys.clear();
    m_tmpScanCode.clear();
}

} // namespace viewer
