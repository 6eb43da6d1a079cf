// The note-tool panel's state without its widgets: the mode machine with the panel's frame for each
// change, the drawing settings, the save policy, and which image each button shows. The panel view
// keeps one and draws from it; tests drive it directly. Main thread (the save policy is atomic, the
// teacher sets it from a receive thread).
#pragma once

#include "streaming/PenColours.h"

#include <array>
#include <atomic>
#include <optional>
#include <string>

namespace notetool {

namespace mode {
constexpr int kPointer = 0;
constexpr int kCaptureBoard = 2;
constexpr int kShareBoard = 3;
constexpr int kWhiteBoard = 5;
} // namespace mode

namespace tool {
constexpr int kPen = 0;
constexpr int kEraser = 1;
constexpr int kEraseAll = 2;
} // namespace tool

constexpr int kOriginHeight = 524; // with a board open
constexpr int kShortHeight = 177;  // pointer mode
// The panel's shift between the two heights (345, not 524 - 177), so its top edge rises by 2
// points while a board is open.
constexpr int kDownHeight = 345;

constexpr int kThicknessButtons = 4;
constexpr float kThicknesses[kThicknessButtons] = {2.0f, 5.0f, 8.0f, 12.0f};
constexpr int kColourButtons = streaming::kPenColourButtons;
constexpr int kDefaultColour = 1; // red

// How the panel's frame changes when the mode shown changes.
enum class FrameChange {
    Keep,  // the frame stays
    Drop,  // from the pointer into a board: tall, its top edge where the short panel's was
    Tall,  // between boards whose groups differ: tall at the same place
    Raise, // from a board back to the pointer: short at the pointer's place
};

// One change of the mode machine: from the mode shown to the mode entered, and the frame change.
struct ModeTransition {
    int from;
    int to;
    FrameChange frame;
};

// What a click on a mode button leads to.
enum class ModeStep {
    Ignore,   // the question about unsaved ink is open, or the mode is shown already
    Enter,    // the mode's steps run at once
    AskFirst, // the question about unsaved ink comes first; its answer runs the steps
};

// A panel frame in bottom-left points; only y and height change with the mode.
struct PanelFrame {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const PanelFrame&) const = default;
};

// The images of the mode buttons: pointer, capture board, white board, share board.
struct ModeImages {
    const char* pointer;
    const char* captureBoard;
    const char* whiteBoard;
    const char* shareBoard; // null: the share board's image is the teacher's to set
};

// The teacher's status texts "0", "1", "2"; anything else is no status.
std::optional<int> statusFromText(const std::string& text);

class NoteToolModel {
public:
    // Every pair of the four modes, the frame change of each.
    static const std::array<ModeTransition, 16> kModeTransitions;
    static FrameChange frameChange(int from, int to);
    static PanelFrame applyFrameChange(const PanelFrame& frame, FrameChange change);

    // The pen width of a thickness button; modes above 3 draw at 12.
    static float thicknessFor(int thicknessMode);
    static ModeImages modeImages(int mode);
    // Draw group shown in every board; etc group only in the capture and white boards.
    static bool drawGroupShown(int mode) { return mode != mode::kPointer; }
    static bool etcGroupShown(int mode) { return mode == mode::kCaptureBoard || mode == mode::kWhiteBoard; }
    static PanelFrame frameLeavingBoards(const PanelFrame& frame);

    // Image names of a button group for the current value (selected / normal).
    static std::string toolImage(int button, int toolMode);
    static std::string thicknessImage(int button, int thicknessMode);
    static std::string colourImage(int button, int colorMode);
    // The outlet name of a colour button ("m_btnColorRed").
    static std::string colourOutlet(int button);

    // The mode asked for last; the teacher's show-hide query reads it on a receive thread.
    std::atomic<int> m_nMode{mode::kPointer};
    int m_nLastMode = mode::kPointer;
    int m_nToolMode = tool::kPen;
    int m_nThicknessMode = 0;
    int m_nColorMode = kDefaultColour;
    bool m_bBlend = false;
    bool m_bWrited = false;
    bool m_bMessageDisplay = true;
    bool m_bScreenUpload = false;
    bool m_bScreenShare = false;
    bool m_bEnableClick = true;
    bool m_bEnableMove = true;
    std::atomic<int> m_nNoteSaveMode{0};

    // A click on the button of mode `to`. The capture and white boards take the request at once
    // (their board opens when its picture arrives, and only for the mode asked for last); the
    // pointer and the share board take it when their steps run.
    ModeStep clickMode(int to);
    // The mode's steps have shown mode `to`: it becomes the mode shown; answers the frame change.
    FrameChange enterMode(int to);

    // The question about unsaved ink is a sheet; no mode changes while it is open.
    bool m_bSaveQuestionPending = false;

    float getThickness() const { return thicknessFor(m_nThicknessMode); }
    // "0", "1", "2" set the policy; anything else leaves it.
    void setNoteSaveMode(const std::string& text);
    bool asksBeforeLeavingInk() const { return m_nNoteSaveMode.load() == 0; }
};

} // namespace notetool
