#include "notetool/NoteToolModel.h"

namespace notetool {
namespace {

constexpr const char* kToolFamilies[] = {"pencil", "erase", "erase_all"};
constexpr const char* kColourNames[kColourButtons] = {"black",  "red",  "blue",  "white",
                                                      "yellow", "pink", "green", "cyan"};
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

PanelFrame NoteToolModel::frameEnteringBoard(const PanelFrame& frame, int lastMode, int to) {
    PanelFrame next = frame;
    if (lastMode == mode::kPointer) {
        next.y = frame.y - kDownHeight;
        next.height = kOriginHeight;
        return next;
    }
    // Between the capture and the white board, and from the capture board to the share board, the
    // panel is made tall at the same place; the other changes between boards keep the frame.
    const bool captureWhite = (lastMode == mode::kCaptureBoard && to == mode::kWhiteBoard) ||
                              (lastMode == mode::kWhiteBoard && to == mode::kCaptureBoard);
    const bool captureShare = lastMode == mode::kCaptureBoard && to == mode::kShareBoard;
    if (captureWhite || captureShare)
        next.height = kOriginHeight;
    return next;
}

PanelFrame NoteToolModel::frameLeavingBoards(const PanelFrame& frame) {
    return {frame.x, frame.y + kDownHeight, frame.width, kShortHeight};
}

std::string NoteToolModel::toolImage(int button, int toolMode) {
    return stateImage(kToolFamilies[button], button == toolMode);
}

std::string NoteToolModel::thicknessImage(int button, int thicknessMode) {
    return stateImage("thickness" + std::to_string(button + 1), button == thicknessMode);
}

std::string NoteToolModel::colourImage(int button, int colorMode) {
    return stateImage(std::string("color_") + kColourNames[button], button == colorMode);
}

void NoteToolModel::setNoteSaveMode(const std::string& text) {
    if (auto status = statusFromText(text))
        m_nNoteSaveMode.store(*status);
}

} // namespace notetool
