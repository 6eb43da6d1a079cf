#include "notetool/NoteToolModel.h"

#include <cctype>

namespace notetool {
namespace {

constexpr const char* kToolFamilies[] = {"pencil", "erase", "erase_all"};
constexpr const char* kSelected = "_selected";
constexpr const char* kNormal = "_normal";
constexpr int kStatusCount = 3;

std::string stateImage(const std::string& family, bool selected) {
    return family + (selected ? kSelected : kNormal);
}

} // namespace

std::optional<int> statusFromText(const std::string& text) {
    for (int status = 0; status < kStatusCount; ++status)
        if (text == std::to_string(status))
            return status;
    return std::nullopt;
}

float NoteToolModel::thicknessFor(int thicknessMode) {
    if (thicknessMode < 0)
        return kThicknesses[0];
    if (thicknessMode >= kThicknessButtons)
        return kThicknesses[kThicknessButtons - 1];
    return kThicknesses[thicknessMode];
}

// Entering a board from the pointer drops the panel; between the capture and the white board, and
// from the capture board to the share board, the panel is made tall at the same place; the other
// changes between boards keep the frame.
const std::array<ModeTransition, 16> NoteToolModel::kModeTransitions = {{
    {mode::kPointer, mode::kPointer, FrameChange::Keep},
    {mode::kPointer, mode::kCaptureBoard, FrameChange::Drop},
    {mode::kPointer, mode::kShareBoard, FrameChange::Drop},
    {mode::kPointer, mode::kWhiteBoard, FrameChange::Drop},
    {mode::kCaptureBoard, mode::kPointer, FrameChange::Raise},
    {mode::kCaptureBoard, mode::kCaptureBoard, FrameChange::Keep},
    {mode::kCaptureBoard, mode::kShareBoard, FrameChange::Tall},
    {mode::kCaptureBoard, mode::kWhiteBoard, FrameChange::Tall},
    {mode::kShareBoard, mode::kPointer, FrameChange::Raise},
    {mode::kShareBoard, mode::kCaptureBoard, FrameChange::Keep},
    {mode::kShareBoard, mode::kShareBoard, FrameChange::Keep},
    {mode::kShareBoard, mode::kWhiteBoard, FrameChange::Keep},
    {mode::kWhiteBoard, mode::kPointer, FrameChange::Raise},
    {mode::kWhiteBoard, mode::kCaptureBoard, FrameChange::Tall},
    {mode::kWhiteBoard, mode::kShareBoard, FrameChange::Keep},
    {mode::kWhiteBoard, mode::kWhiteBoard, FrameChange::Keep},
}};

FrameChange NoteToolModel::frameChange(int from, int to) {
    for (const ModeTransition& t : kModeTransitions)
        if (t.from == from && t.to == to)
            return t.frame;
    return FrameChange::Keep;
}

PanelFrame NoteToolModel::applyFrameChange(const PanelFrame& frame, FrameChange change) {
    PanelFrame next = frame;
    switch (change) {
    case FrameChange::Keep:
        break;
    case FrameChange::Drop:
        next.y = frame.y - kDownHeight;
        next.height = kOriginHeight;
        break;
    case FrameChange::Tall:
        next.height = kOriginHeight;
        break;
    case FrameChange::Raise:
        next.y = frame.y + kDownHeight;
        next.height = kShortHeight;
        break;
    }
    return next;
}

bool NoteToolModel::isMode(int mode) {
    for (const ModeTransition& t : kModeTransitions)
        if (t.to == mode)
            return true;
    return false;
}

void NoteToolModel::setUp() {
    m_bEnableMove = true;
    m_nLastMode = mode::kPointer;
    m_nColorMode = kDefaultColour;
    m_bScreenUpload = false;
    m_bEnableClick = true;
    m_nNoteSaveMode.store(0);
    m_bMessageDisplay = true;
}

ModeStep NoteToolModel::clickMode(int to) {
    if (m_bSaveQuestionPending || !isMode(to))
        return ModeStep::Ignore;
    if (to == mode::kCaptureBoard || to == mode::kWhiteBoard)
        m_nMode = to;
    if (m_nLastMode == to)
        return ModeStep::Ignore;
    return m_bWrited ? ModeStep::AskFirst : ModeStep::Enter;
}

void NoteToolModel::startMode(int to) {
    if (!isMode(to))
        return;
    m_nMode = to;
    if (to == mode::kPointer) {
        m_nToolMode = tool::kPen;
        m_nColorMode = kDefaultColour;
        m_nThicknessMode = 0;
    }
}

FrameChange NoteToolModel::enterMode(int to) {
    if (!isMode(to))
        return FrameChange::Keep;
    const FrameChange change = frameChange(m_nLastMode, to);
    m_nLastMode = to;
    return change;
}

std::optional<FrameChange> NoteToolModel::boardReady(int board) {
    if (m_nMode.load() != board)
        return std::nullopt;
    return enterMode(board);
}

bool NoteToolModel::eraseAll() {
    m_nToolMode = tool::kPen;
    m_bWrited = false;
    return m_nMode.load() == mode::kShareBoard;
}

bool NoteToolModel::openSaveQuestion() {
    if (!asksBeforeLeavingInk())
        return false;
    m_bSaveQuestionPending = true;
    return true;
}

void NoteToolModel::saveQuestionAnswered(bool save) {
    m_bSaveQuestionPending = false;
    if (save)
        m_bMessageDisplay = false;
    else
        m_bWrited = false;
}

void NoteToolModel::screenUploadStatus(int status) {
    if (status < 0 || status >= kStatusCount)
        return;
    m_bScreenUpload = status == 1;
}

void NoteToolModel::shareScreenStatus(int status) {
    if (status < 0 || status >= kStatusCount)
        return;
    // "1" shows the teacher's word without taking it as the student's own share.
    if (status != 1)
        m_bScreenShare = false;
}

UploadClick NoteToolModel::clickScreenUpload() {
    if (m_bScreenShare)
        return UploadClick::WhileSharing;
    if (!m_bEnableClick)
        return UploadClick::Inert;
    m_bEnableClick = false;
    return UploadClick::Ask;
}

ShareClick NoteToolModel::clickScreenShare() {
    // Sharing needs the teacher to receive this screen first.
    if (!m_bEnableClick || !m_bScreenUpload)
        return ShareClick::Inert;
    m_bEnableClick = false;
    m_bScreenShare = !m_bScreenShare;
    return m_bScreenShare ? ShareClick::SharingOn : ShareClick::SharingOff;
}

ModeImages NoteToolModel::modeImages(int mode) {
    switch (mode) {
    case mode::kCaptureBoard:
        return {"mode_touch_normal", "mode_captureboard_selected", "mode_whiteboard_normal", nullptr};
    case mode::kWhiteBoard:
        return {"mode_touch_normal", "mode_captureboard_normal", "mode_whiteboard_selected", nullptr};
    case mode::kShareBoard:
        return {"note_cursor", "note_draw", "mode_whiteboard_normal", "note_sb_checked"};
    default:
        return {"mode_touch_selected", "mode_captureboard_normal", "mode_whiteboard_normal", nullptr};
    }
}

PanelFrame NoteToolModel::frameLeavingBoards(const PanelFrame& frame) {
    return applyFrameChange(frame, FrameChange::Raise);
}

std::string NoteToolModel::toolImage(int button, int toolMode) {
    return stateImage(kToolFamilies[button], button == toolMode);
}

std::string NoteToolModel::thicknessImage(int button, int thicknessMode) {
    return stateImage("thickness" + std::to_string(button + 1), button == thicknessMode);
}

std::string NoteToolModel::colourImage(int button, int colorMode) {
    return stateImage(std::string("color_") + streaming::penColour(button).name, button == colorMode);
}

std::string NoteToolModel::colourOutlet(int button) {
    std::string name = streaming::penColour(button).name;
    if (!name.empty())
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return "m_btnColor" + name;
}

void NoteToolModel::setNoteSaveMode(const std::string& text) {
    if (auto status = statusFromText(text))
        m_nNoteSaveMode.store(*status);
}

} // namespace notetool
