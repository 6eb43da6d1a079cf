// Turns the student's keys in the viewer into the console's key texts: "[PC00603]" followed by PC
// scan codes (held modifiers' make codes, the key's make and break codes, the modifiers' break
// codes) and "[PC00604]" for the input-language key. Key codes are those of the console's key
// table (88 rows); keyCodeFromX maps an X key code onto them. Tracks which modifiers are held.
// Plain value, the viewer window's main thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace viewer {

struct ScanCodeRow {
    const char* scanText;   // make code, upper-case hexadecimal
    std::uint32_t position; // layout position; 116 marks the input-language key
    std::uint16_t keyCode;
};

constexpr std::size_t kScanCodeRows = 88;
extern const std::array<ScanCodeRow, kScanCodeRows> kScanCodeTable;

// Modifier flags as the key table's events carry them.
namespace keyflags {
constexpr std::uint64_t kCapsLock = 0x10000;
constexpr std::uint64_t kShift = 0x20000;
constexpr std::uint64_t kControl = 0x40000;
constexpr std::uint64_t kOption = 0x80000;
constexpr std::uint64_t kCommand = 0x100000;
} // namespace keyflags

// Key codes of the table that take part in the modifier and language rules.
namespace keycodes {
// A flags event with key code 0 lets go of every modifier.
constexpr int kReleaseAll = 0;
constexpr int kSpace = 49;
constexpr int kCommand = 55;
constexpr int kRightCommand = 54;
constexpr int kShift = 56;
constexpr int kCapsLock = 57;
constexpr int kOption = 58;
constexpr int kControl = 59;
constexpr int kRightShift = 60;
constexpr int kRightOption = 61;
constexpr int kRightControl = 62;
constexpr int kNone = -1;
} // namespace keycodes

// The table's key code of an X key code (evdev code + 8); keycodes::kNone when no key matches.
int keyCodeFromX(int xKeyCode);
// Whether the key is one whose presses and releases change the modifier flags.
bool isModifierKey(int keyCode);

class ScanCodeKeyboard {
public:
    static constexpr const char* kKeyCommand = "[PC00603]";
    static constexpr const char* kLanguageCommand = "[PC00604]";
    static constexpr std::uint32_t kLanguageKeyPosition = 116;
    enum Modifier { kControlHeld, kCommandHeld, kOptionHeld, kShiftHeld, kModifierCount };

    static int getKeyCodeIdx(int keyCode);
    static std::string getScancode(int keyCode);
    // The break code of a scan text: its value with bit 0x80 set, as "%2X".
    static std::string breakCode(const std::string& scanText);

    // Each answers the complete command to post, or nothing. Callers ask only while answers are on.
    std::optional<std::string> keyDown(int keyCode);
    std::optional<std::string> keyUp(int keyCode, std::uint64_t flags) const;
    std::optional<std::string> flagsChanged(int keyCode, std::uint64_t flags);
    // Every held modifier let go (key code 0 in the flags event, or the window losing the keys).
    void releaseModifiers();

    bool isHeld(Modifier m) const { return m_bExtendedKey[m]; }
    const std::string& lastKeyText() const { return m_tmpKeyCode; }

private:
    void setExtendedScanCode();
    void setKeyDownExtendedScanCode();

    std::string m_tmpKeyCode;
    std::string m_tmpScanCode;
    std::array<bool, kModifierCount> m_bExtendedKey{};
    std::set<int> m_heldKeys; // modifier keys down now, by key code
};

} // namespace viewer
