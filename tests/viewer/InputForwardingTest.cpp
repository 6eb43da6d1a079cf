// Key and mouse texts for the console: X key codes through the key table into "[PC00603]" scan-code
// texts and "[PC00604]", modifiers held and let go, and mouse positions and wheel turns scaled to
// the teacher's screen as the console expects them.
#include "viewer/MouseForwarding.h"
#include "viewer/ScanCodeKeyboard.h"

#include <climits>
#include <gtest/gtest.h>

namespace viewer {
namespace {

// X key codes (evdev + 8) of a PC keyboard.
namespace xkey {
constexpr int kA = 38;
constexpr int kSpace = 65;
constexpr int kLeftShift = 50;
constexpr int kRightShift = 62;
constexpr int kLeftControl = 37;
constexpr int kRightControl = 105;
constexpr int kLeftMeta = 133;
constexpr int kLeft = 113;
constexpr int kF13 = 191;
constexpr int kF14 = 192;
constexpr int kHangul = 130;
constexpr int kCapsLock = 66;
} // namespace xkey

struct Step {
    enum Kind { Down, Up, Flags } kind;
    int xKey;
    std::uint64_t flags = 0;
};

std::vector<std::string> run(ScanCodeKeyboard& keyboard, const std::vector<Step>& steps) {
    std::vector<std::string> posted;
    for (const Step& s : steps) {
        const int code = keyCodeFromX(s.xKey);
        std::optional<std::string> text;
        if (s.kind == Step::Down)
            text = keyboard.keyDown(code);
        else if (s.kind == Step::Up)
            text = keyboard.keyUp(code, s.flags);
        else
            text = keyboard.flagsChanged(code, s.flags);
        if (text)
            posted.push_back(*text);
    }
    return posted;
}

TEST(InputForwarding, KeyTexts) {
    using F = Step;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> posted;
    };
    const Case cases[] = {
        {"A", {{F::Down, xkey::kA}, {F::Up, xkey::kA}}, {"[PC00603]1E9E"}},
        {"Shift+A",
         {{F::Flags, xkey::kLeftShift, keyflags::kShift}, {F::Down, xkey::kA}},
         {"[PC00603]2A1E9EAA"}},
        {"Ctrl+Left",
         {{F::Flags, xkey::kLeftControl, keyflags::kControl}, {F::Down, xkey::kLeft}},
         {"[PC00603]1DE04BE0CB9D"}},
        {"Ctrl+Cmd+Left",
         {{F::Flags, xkey::kLeftControl, keyflags::kControl},
          {F::Flags, xkey::kLeftMeta, keyflags::kControl | keyflags::kCommand},
          {F::Down, xkey::kLeft}},
         {"[PC00603]1DE05BE04BE0CB9DE0DB"}},
        {"F13", {{F::Down, xkey::kF13}}, {"[PC00603]FFFF"}},
        {"F14 is not in the table", {{F::Down, xkey::kF14}, {F::Up, xkey::kF14}}, {}},
        {"right Shift is not tracked",
         {{F::Flags, xkey::kRightShift, keyflags::kShift}, {F::Down, xkey::kA}},
         {"[PC00603]1E9E"}},
        {"Shift let go",
         {{F::Flags, xkey::kLeftShift, keyflags::kShift},
          {F::Flags, xkey::kLeftShift, 0},
          {F::Down, xkey::kA}},
         {"[PC00603]1E9E"}},
        {"right Control pressed and released",
         {{F::Flags, xkey::kRightControl, keyflags::kControl},
          {F::Down, xkey::kA},
          {F::Flags, xkey::kRightControl, 0},
          {F::Down, xkey::kA}},
         {"[PC00603]1D1E9E9D", "[PC00603]1E9E"}},
        {"language key",
         {{F::Down, xkey::kHangul}, {F::Up, xkey::kHangul}},
         {"[PC00603]E072E0F2", "[PC00604]"}},
        {"Control+Space",
         {{F::Flags, xkey::kLeftControl, keyflags::kControl},
          {F::Down, xkey::kSpace},
          {F::Up, xkey::kSpace, keyflags::kControl}},
         {"[PC00603]1D39B99D", "[PC00604]"}},
        {"Caps Lock on, then off",
         {{F::Flags, xkey::kCapsLock, keyflags::kCapsLock}, {F::Flags, xkey::kCapsLock, 0}},
         {"[PC00604]"}},
        {"Caps Lock changes no key text",
         {{F::Flags, xkey::kCapsLock, keyflags::kCapsLock}, {F::Down, xkey::kA}},
         {"[PC00604]", "[PC00603]1E9E"}},
        {"Space let go without Control",
         {{F::Down, xkey::kSpace}, {F::Up, xkey::kSpace, 0}},
         {"[PC00603]39B9"}},
        {"two Controls held, one let go",
         {{F::Flags, xkey::kLeftControl, keyflags::kControl},
          {F::Flags, xkey::kRightControl, keyflags::kControl},
          {F::Flags, xkey::kRightControl, 0},
          {F::Down, xkey::kA}},
         {"[PC00603]1D1E9E9D"}},
        {"two Controls held, both let go",
         {{F::Flags, xkey::kLeftControl, keyflags::kControl},
          {F::Flags, xkey::kRightControl, keyflags::kControl},
          {F::Flags, xkey::kRightControl, 0},
          {F::Flags, xkey::kLeftControl, 0},
          {F::Down, xkey::kA}},
         {"[PC00603]1E9E"}},
    };
    for (const Case& c : cases) {
        ScanCodeKeyboard keyboard;
        EXPECT_EQ(run(keyboard, c.steps), c.posted) << c.name;
    }
}

TEST(InputForwarding, LettingGoOfTheKeysReleasesEveryModifier) {
    ScanCodeKeyboard keyboard;
    run(keyboard, {{Step::Flags, xkey::kLeftControl, keyflags::kControl},
                   {Step::Flags, xkey::kLeftShift, keyflags::kShift | keyflags::kControl}});
    EXPECT_TRUE(keyboard.isHeld(ScanCodeKeyboard::kShiftHeld));
    keyboard.releaseModifiers();
    EXPECT_EQ(run(keyboard, {{Step::Down, xkey::kA}}), std::vector<std::string>{"[PC00603]1E9E"});
}

TEST(InputForwarding, MousePositionsAreScaledToTheTeachersScreen) {
    // A 1440 x 900 screen with a 24-point menu bar and a 1920 x 1080 teacher screen.
    const MouseGeometry g{1440, 876, 1920, 1080};
    struct Case {
        double x, y; // view point, y up from the bottom
        int message;
        const char* text;
    };
    const Case cases[] = {
        {720, 438, mousemsg::kLeftDown, "960,540,513"}, {0, 876, mousemsg::kLeftDown, "0,0,513"},
        {1440, 0, mousemsg::kLeftUp, "1920,1080,514"},  {1439.9, 0.5, mousemsg::kRightDown, "1919,1079,516"},
        {100, 800, mousemsg::kMove, "133,93,512"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mouseText(c.x, c.y, c.message, g), c.text);
    EXPECT_EQ(mouseText(10, 10, mousemsg::kMove, MouseGeometry{0, 0, 1920, 1080}), "0,0,512");
    // A teacher size far beyond any screen saturates instead of overflowing.
    EXPECT_EQ(mouseText(1440, 0, mousemsg::kMove, MouseGeometry{1440, 876, INT_MAX, INT_MAX}),
              "2147483647,2147483647,512");
}

TEST(InputForwarding, WheelTexts) {
    struct Case {
        double delta;
        const char* text;
    };
    for (const Case& c :
         {Case{0.7, "0,0,522"}, Case{-2.5, "0,-200,522"}, Case{1.0, "0,100,522"}, Case{-1.0, "0,-100,522"}})
        EXPECT_EQ(wheelText(c.delta), c.text) << c.delta;
}

} // namespace
} // namespace viewer
