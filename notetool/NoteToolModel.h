// The note-tool panel's state without its widgets: the mode machine with the panel's frame for each
// change, the drawing settings, unsaved ink and the question about it, the teacher's save policy and
// screen states, and which image each button shows. The panel view keeps one, changes it only by
// what the student or the teacher did, and draws from it; tests drive it the same way. Main thread
// (the mode asked for and the save policy are atomic: the teacher's show-hide query reads the one
// and the teacher sets the other from a receive thread).
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

// A student's click on the upload button: refused while the screen is shared (a box says why),
// inert while the screen buttons rest, or a request to the teacher.
enum class UploadClick {
    WhileSharing,
    Inert,
    Ask,
};

// A student's click on the share button: inert (resting, or the teacher does not receive this
// screen), or the share turned on or off.
enum class ShareClick {
    Inert,
    SharingOn,
    SharingOff,
};

class NoteToolModel {
public:
    // Every pair of the four modes, the frame change of each.
    static const std::array<ModeTransition, 16> kModeTransitions;
    // The four modes are those of the table; 1, 4 and anything else are none.
    static bool isMode(int mode);
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

    // The values the panel starts with when the hub loads it (the mode asked for and the drawing
    // settings other than the colour keep theirs).
    void setUp();

    // The mode machine. A click on the button of mode `to`: the capture and white boards take the
    // request at once (their board opens when its picture arrives, and only for the mode asked for
    // last); the pointer and the share board take it when their steps run.
    ModeStep clickMode(int to);
    // The steps of mode `to` start: it is the mode asked for. The pointer also puts back the pen,
    // red and the thinnest width.
    void startMode(int to);
    // The mode's steps have shown mode `to`: it becomes the mode shown; answers the frame change.
    FrameChange enterMode(int to);
    // The picture of a capture or white board is ready: the board is shown, with the frame change
    // answered, if it is still the mode asked for; nothing otherwise.
    std::optional<FrameChange> boardReady(int board);
    // The mode asked for last; the teacher's show-hide query reads it on a receive thread.
    int getMode() const { return m_nMode.load(); }
    // The mode whose layout the panel shows.
    int getLastMode() const { return m_nLastMode; }

    // Drawing settings.
    void selectTool(int toolMode) { m_nToolMode = toolMode; }
    void selectThickness(int thicknessMode) { m_nThicknessMode = thicknessMode; }
    void selectColour(int colorMode) { m_nColorMode = colorMode; }
    // Answers whether highlighter strokes are on now.
    bool toggleBlend() { return m_bBlend = !m_bBlend; }
    // Erase-all is momentary: the pen is the tool again at once and the ink is gone. Answers
    // whether the share board is the mode asked for, where the teacher's copy is cleared too.
    bool eraseAll();
    int getToolMode() const { return m_nToolMode; }
    int getThicknessMode() const { return m_nThicknessMode; }
    float getThickness() const { return thicknessFor(m_nThicknessMode); }
    int getColorMode() const { return m_nColorMode; }
    bool getIsBlend() const { return m_bBlend; }

    // Ink: written by a pen stroke on a board, saved with the board (or by a save where no board is
    // open), or dropped unsaved.
    void inkWritten() { m_bWrited = true; }
    void inkSaved() { m_bWrited = false; }
    void inkDropped() { m_bWrited = false; }
    bool hasUnsavedInk() const { return m_bWrited; }

    // The question about unsaved ink, asked as the teacher's policy says. Answers false when the
    // policy asks nothing; otherwise the question is open and no mode changes until its answer.
    bool openSaveQuestion();
    // Save: the board is saved without the "saved" message; otherwise the ink is dropped.
    void saveQuestionAnswered(bool save);
    bool isSaveQuestionPending() const { return m_bSaveQuestionPending; }
    // A save asked for shows the "saved" message unless it answers the question.
    bool showsSavedMessage() const { return m_bMessageDisplay; }
    void saveEnded() { m_bMessageDisplay = true; }

    // The teacher's save policy: "0", "1", "2" set it; anything else leaves it. Set on a receive
    // thread.
    void setNoteSaveMode(const std::string& text);
    int getNoteSaveMode() const { return m_nNoteSaveMode.load(); }
    bool asksBeforeLeavingInk() const { return m_nNoteSaveMode.load() == 0; }

    // The screen buttons. The teacher's status 0, 1, 2 of this screen's upload and of its share to
    // the class; the student's clicks, after which both buttons rest until screenButtonsRested.
    void screenUploadStatus(int status);
    void shareScreenStatus(int status);
    UploadClick clickScreenUpload();
    ShareClick clickScreenShare();
    void screenButtonsRested() { m_bEnableClick = true; }
    bool isScreenUploaded() const { return m_bScreenUpload; }
    bool isScreenShared() const { return m_bScreenShare; }
    bool isClickEnabled() const { return m_bEnableClick; }

    // The title strip may drag the panel.
    bool isMoveEnabled() const { return m_bEnableMove; }

private:
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
    bool m_bSaveQuestionPending = false;
};

} // namespace notetool
