// The note tool's state without widgets, driven as the panel's clicks and the teacher's commands
// drive it: the mode machine with the panel's frame, groups and images, the drawing settings,
// unsaved ink and the question about it, the screen buttons and the teacher's states; pen widths,
// the save policy's texts, and where a board is saved.
#include "notetool/NoteToolModel.h"

#include "notetool/BoardSaver.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using notetool::FrameChange;
using notetool::ModeStep;
using notetool::NoteToolModel;
using notetool::PanelFrame;
namespace mode = notetool::mode;
namespace tool = notetool::tool;

constexpr PanelFrame kShort{1255, 615, 185, 177};
constexpr PanelFrame kTall{1255, 270, 185, 524};

// A mode's steps as the panel runs them: the mode is the one asked for, then it is shown at once
// (the pointer, the share board) or when its board's picture is ready. Answers the panel's frame.
PanelFrame runSteps(NoteToolModel& model, int to, const PanelFrame& frame) {
    model.startMode(to);
    if (to == mode::kCaptureBoard || to == mode::kWhiteBoard) {
        const auto change = model.boardReady(to);
        return change ? NoteToolModel::applyFrameChange(frame, *change) : frame;
    }
    return NoteToolModel::applyFrameChange(frame, model.enterMode(to));
}

// A click on a mode button with no ink to ask about.
PanelFrame clickThrough(NoteToolModel& model, int to, const PanelFrame& frame) {
    return model.clickMode(to) == ModeStep::Enter ? runSteps(model, to, frame) : frame;
}

void showMode(NoteToolModel& model, int shown) {
    if (shown != mode::kPointer)
        clickThrough(model, shown, kShort);
}

TEST(NoteToolModel, ThicknessButtonsGiveTheirWidths) {
    const std::pair<int, float> cases[] = {{0, 2.0f},  {1, 5.0f},  {2, 8.0f},
                                           {3, 12.0f}, {4, 12.0f}, {99, 12.0f}};
    for (auto [button, width] : cases)
        EXPECT_EQ(NoteToolModel::thicknessFor(button), width) << button;
}

TEST(NoteToolModel, SavePolicyTakesOnlyTheThreeTexts) {
    NoteToolModel model;
    const std::pair<const char*, int> cases[] = {{"1", 1}, {"3", 1}, {"", 1}, {"2", 2}, {" 0", 2}, {"0", 0}};
    for (auto [text, policy] : cases) {
        model.setNoteSaveMode(text);
        EXPECT_EQ(model.getNoteSaveMode(), policy) << '"' << text << '"';
    }
    EXPECT_TRUE(model.asksBeforeLeavingInk());
}

TEST(NoteToolModel, FrameChangesKeepTheTopEdgeTwoPointsHigherWhileABoardIsOpen) {
    const PanelFrame shortPanel = kShort;
    const PanelFrame tall = kTall;
    struct Case {
        PanelFrame from;
        int lastMode;
        int to;
        PanelFrame expected;
    };
    const Case cases[] = {
        {shortPanel, mode::kPointer, mode::kCaptureBoard, tall},
        {shortPanel, mode::kPointer, mode::kShareBoard, tall},
        {tall, mode::kCaptureBoard, mode::kWhiteBoard, tall},
        {tall, mode::kWhiteBoard, mode::kCaptureBoard, tall},
        {tall, mode::kCaptureBoard, mode::kShareBoard, tall},
        {tall, mode::kShareBoard, mode::kWhiteBoard, tall},
        {tall, mode::kWhiteBoard, mode::kShareBoard, tall},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NoteToolModel::applyFrameChange(c.from, NoteToolModel::frameChange(c.lastMode, c.to)),
                  c.expected)
            << c.lastMode << " -> " << c.to;
    EXPECT_EQ(NoteToolModel::frameLeavingBoards(tall), shortPanel);
    EXPECT_EQ(tall.y + tall.height - (shortPanel.y + shortPanel.height), 2);
}

// The mode machine without windows: what a click does from each mode, with or without unsaved ink
// or an open question, which mode it records, and the frame change of entering the mode.
TEST(NoteToolModel, ModeMachineFollowsItsTransitionTable) {
    struct Case {
        int shown;
        bool written;
        bool questionOpen;
        int clicked;
        ModeStep step;
        int asked; // the mode recorded after the click
        FrameChange frame;
    };
    constexpr int P = mode::kPointer, C = mode::kCaptureBoard, S = mode::kShareBoard, W = mode::kWhiteBoard;
    const Case cases[] = {
        {P, false, false, P, ModeStep::Ignore, P, FrameChange::Keep},
        {P, false, false, C, ModeStep::Enter, C, FrameChange::Drop},
        {P, false, false, S, ModeStep::Enter, P, FrameChange::Drop},
        {P, false, false, W, ModeStep::Enter, W, FrameChange::Drop},
        {C, false, false, P, ModeStep::Enter, C, FrameChange::Raise},
        {C, true, false, P, ModeStep::AskFirst, C, FrameChange::Raise},
        {C, false, false, C, ModeStep::Ignore, C, FrameChange::Keep},
        {C, false, false, S, ModeStep::Enter, C, FrameChange::Tall},
        {C, true, false, W, ModeStep::AskFirst, W, FrameChange::Tall},
        {S, false, false, P, ModeStep::Enter, S, FrameChange::Raise},
        {S, false, false, C, ModeStep::Enter, C, FrameChange::Keep},
        {S, true, false, S, ModeStep::Ignore, S, FrameChange::Keep},
        {S, false, false, W, ModeStep::Enter, W, FrameChange::Keep},
        {W, false, false, P, ModeStep::Enter, W, FrameChange::Raise},
        {W, false, false, C, ModeStep::Enter, C, FrameChange::Tall},
        {W, true, false, S, ModeStep::AskFirst, W, FrameChange::Keep},
        {W, false, false, W, ModeStep::Ignore, W, FrameChange::Keep},
        // An open question takes no click, and the boards record nothing meanwhile.
        {C, true, true, W, ModeStep::Ignore, C, FrameChange::Tall},
        {W, false, true, P, ModeStep::Ignore, W, FrameChange::Raise},
        {P, false, true, S, ModeStep::Ignore, P, FrameChange::Drop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shown << " -> " << c.clicked << " written " << c.written
                                        << " question " << c.questionOpen);
        NoteToolModel model;
        showMode(model, c.shown);
        if (c.written)
            model.inkWritten();
        if (c.questionOpen) {
            ASSERT_TRUE(model.openSaveQuestion());
        }
        EXPECT_EQ(model.clickMode(c.clicked), c.step);
        EXPECT_EQ(model.getMode(), c.asked);
        EXPECT_EQ(model.getLastMode(), c.shown);
        EXPECT_EQ(model.enterMode(c.clicked), c.frame);
        EXPECT_EQ(model.getLastMode(), c.clicked);
    }
    // The table holds each pair of modes once.
    for (int from : {P, C, S, W})
        for (int to : {P, C, S, W})
            EXPECT_EQ(std::count_if(
                          NoteToolModel::kModeTransitions.begin(), NoteToolModel::kModeTransitions.end(),
                          [&](const notetool::ModeTransition& t) { return t.from == from && t.to == to; }),
                      1)
                << from << " -> " << to;
}

TEST(NoteToolModel, ValuesOneAndFourAreNoModes) {
    NoteToolModel model;
    showMode(model, mode::kWhiteBoard);
    for (int value : {1, 4, -1, 6}) {
        EXPECT_FALSE(NoteToolModel::isMode(value)) << value;
        EXPECT_EQ(model.clickMode(value), ModeStep::Ignore) << value;
        model.startMode(value);
        EXPECT_EQ(model.enterMode(value), FrameChange::Keep) << value;
        EXPECT_EQ(model.getMode(), mode::kWhiteBoard) << value;
        EXPECT_EQ(model.getLastMode(), mode::kWhiteBoard) << value;
    }
}

// The panel's first values, and those its set-up puts back.
TEST(NoteToolModel, SetUpGivesThePanelsFirstValues) {
    const auto expectFirstValues = [](const NoteToolModel& model) {
        EXPECT_EQ(model.getLastMode(), mode::kPointer);
        EXPECT_EQ(model.getColorMode(), notetool::kDefaultColour);
        EXPECT_FALSE(model.isScreenUploaded());
        EXPECT_TRUE(model.isClickEnabled());
        EXPECT_EQ(model.getNoteSaveMode(), 0);
        EXPECT_TRUE(model.showsSavedMessage());
        EXPECT_TRUE(model.isMoveEnabled());
    };
    NoteToolModel model;
    expectFirstValues(model);
    EXPECT_EQ(model.getMode(), mode::kPointer);
    EXPECT_EQ(model.getToolMode(), tool::kPen);
    EXPECT_EQ(model.getThickness(), 2.0f);
    EXPECT_FALSE(model.getIsBlend());
    EXPECT_FALSE(model.hasUnsavedInk());
    EXPECT_FALSE(model.isScreenShared());

    showMode(model, mode::kShareBoard);
    model.selectColour(6);
    model.screenUploadStatus(1);
    ASSERT_EQ(model.clickScreenUpload(), notetool::UploadClick::Ask);
    model.setNoteSaveMode("2");
    model.inkWritten();
    ASSERT_TRUE(model.isScreenUploaded());
    model.setUp();
    expectFirstValues(model);
}

// The modes one after the other as the panel test clicks them: the mode asked for and shown, the
// frame, the groups and the mode buttons' images.
TEST(NoteToolModel, EachModeShowsItsFrameGroupsAndImages) {
    struct Step {
        int clicked;
        PanelFrame frame;
        bool etc;
        const char* pointer;
        const char* capture;
        const char* white;
        const char* share; // null: the teacher's image stays
    };
    constexpr int P = mode::kPointer, C = mode::kCaptureBoard, S = mode::kShareBoard, W = mode::kWhiteBoard;
    const Step steps[] = {
        {W, kTall, true, "mode_touch_normal", "mode_captureboard_normal", "mode_whiteboard_selected",
         nullptr},
        {C, kTall, true, "mode_touch_normal", "mode_captureboard_selected", "mode_whiteboard_normal",
         nullptr},
        {S, kTall, false, "note_cursor", "note_draw", "mode_whiteboard_normal", "note_sb_checked"},
        {W, kTall, true, "mode_touch_normal", "mode_captureboard_normal", "mode_whiteboard_selected",
         nullptr},
        {P, kShort, false, "mode_touch_selected", "mode_captureboard_normal", "mode_whiteboard_normal",
         nullptr},
        {S, kTall, false, "note_cursor", "note_draw", "mode_whiteboard_normal", "note_sb_checked"},
        {P, kShort, false, "mode_touch_selected", "mode_captureboard_normal", "mode_whiteboard_normal",
         nullptr},
    };
    NoteToolModel model;
    PanelFrame frame = kShort;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.clicked);
        frame = clickThrough(model, s.clicked, frame);
        EXPECT_EQ(model.getLastMode(), s.clicked);
        EXPECT_EQ(model.getMode(), s.clicked); // what the teacher's show-hide query reports
        EXPECT_EQ(frame, s.frame);
        EXPECT_EQ(NoteToolModel::drawGroupShown(model.getLastMode()), s.clicked != P);
        EXPECT_EQ(NoteToolModel::etcGroupShown(model.getLastMode()), s.etc);
        const notetool::ModeImages images = NoteToolModel::modeImages(model.getLastMode());
        EXPECT_STREQ(images.pointer, s.pointer);
        EXPECT_STREQ(images.captureBoard, s.capture);
        EXPECT_STREQ(images.whiteBoard, s.white);
        if (s.share) {
            EXPECT_STREQ(images.shareBoard, s.share);
        } else {
            EXPECT_EQ(images.shareBoard, nullptr);
        }
    }
}

// A board whose picture comes after another mode was asked for is not shown; a second click on
// the open board asks for nothing.
TEST(NoteToolModel, OnlyTheBoardAskedForLastIsShown) {
    NoteToolModel model;
    ASSERT_EQ(model.clickMode(mode::kCaptureBoard), ModeStep::Enter);
    model.startMode(mode::kCaptureBoard);
    ASSERT_EQ(model.clickMode(mode::kWhiteBoard), ModeStep::Enter);
    model.startMode(mode::kWhiteBoard);
    EXPECT_EQ(model.boardReady(mode::kCaptureBoard), std::nullopt);
    EXPECT_EQ(model.getLastMode(), mode::kPointer);
    EXPECT_EQ(model.boardReady(mode::kWhiteBoard), FrameChange::Drop);
    EXPECT_EQ(model.getLastMode(), mode::kWhiteBoard);

    EXPECT_EQ(clickThrough(model, mode::kCaptureBoard, kTall), kTall);
    EXPECT_EQ(model.clickMode(mode::kCaptureBoard), ModeStep::Ignore);
    EXPECT_EQ(model.getLastMode(), mode::kCaptureBoard);
}

// The tool, thickness, colour and highlighter buttons one after the other, then a board left by
// the pointer, which puts back the pen, red and the thinnest width.
TEST(NoteToolModel, DrawingSettingsFollowTheButtons) {
    struct Row {
        const char* button;
        std::function<void(NoteToolModel&)> click;
        int toolMode;
        float thickness;
        int colour;
        bool blend;
    };
    constexpr int kRed = notetool::kDefaultColour, kCyan = 7;
    const Row rows[] = {
        {"erase-all", [](NoteToolModel& m) { m.eraseAll(); }, tool::kPen, 2.0f, kRed, false},
        {"eraser", [](NoteToolModel& m) { m.selectTool(tool::kEraser); }, tool::kEraser, 2.0f, kRed, false},
        {"thickness 2", [](NoteToolModel& m) { m.selectThickness(1); }, tool::kEraser, 5.0f, kRed, false},
        {"thickness 3", [](NoteToolModel& m) { m.selectThickness(2); }, tool::kEraser, 8.0f, kRed, false},
        {"thickness 4", [](NoteToolModel& m) { m.selectThickness(3); }, tool::kEraser, 12.0f, kRed, false},
        {"thickness 1", [](NoteToolModel& m) { m.selectThickness(0); }, tool::kEraser, 2.0f, kRed, false},
        {"thickness 4", [](NoteToolModel& m) { m.selectThickness(3); }, tool::kEraser, 12.0f, kRed, false},
        {"cyan", [](NoteToolModel& m) { m.selectColour(kCyan); }, tool::kEraser, 12.0f, kCyan, false},
        {"highlighter", [](NoteToolModel& m) { EXPECT_TRUE(m.toggleBlend()); }, tool::kEraser, 12.0f, kCyan,
         true},
        // The pointer in pointer mode changes nothing but the cursor.
        {"pointer over the desktop", [](NoteToolModel& m) { clickThrough(m, mode::kPointer, kShort); },
         tool::kEraser, 12.0f, kCyan, true},
        {"white board", [](NoteToolModel& m) { clickThrough(m, mode::kWhiteBoard, kShort); }, tool::kEraser,
         12.0f, kCyan, true},
        {"pointer over a board", [](NoteToolModel& m) { clickThrough(m, mode::kPointer, kTall); }, tool::kPen,
         2.0f, kRed, true},
        {"highlighter again", [](NoteToolModel& m) { EXPECT_FALSE(m.toggleBlend()); }, tool::kPen, 2.0f, kRed,
         false},
    };
    NoteToolModel model;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        r.click(model);
        EXPECT_EQ(model.getToolMode(), r.toolMode);
        EXPECT_EQ(model.getThickness(), r.thickness);
        EXPECT_EQ(model.getColorMode(), r.colour);
        EXPECT_EQ(model.getIsBlend(), r.blend);
    }
    model.selectColour(kCyan);
    EXPECT_EQ(NoteToolModel::colourImage(kCyan, model.getColorMode()), "color_cyan_selected");
    EXPECT_EQ(NoteToolModel::colourImage(kRed, model.getColorMode()), "color_red_normal");
    EXPECT_EQ(NoteToolModel::toolImage(tool::kPen, model.getToolMode()), "pencil_selected");
    EXPECT_EQ(NoteToolModel::toolImage(tool::kEraseAll, model.getToolMode()), "erase_all_normal");
}

TEST(NoteToolModel, EraseAllDropsTheInkAndTellsTheTeacherOnlyOnTheShareBoard) {
    struct Case {
        int shown;
        bool teacherClears;
    };
    const Case cases[] = {{mode::kPointer, false},
                          {mode::kWhiteBoard, false},
                          {mode::kCaptureBoard, false},
                          {mode::kShareBoard, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        NoteToolModel model;
        showMode(model, c.shown);
        model.inkWritten();
        model.selectTool(tool::kEraseAll);
        EXPECT_EQ(model.eraseAll(), c.teacherClears);
        EXPECT_EQ(model.getToolMode(), tool::kPen); // a momentary action
        EXPECT_FALSE(model.hasUnsavedInk());
    }
}

// Unsaved ink and the question about it, as the teacher's policy says: while it is open no mode
// changes; OK saves without the "saved" message, Cancel drops the ink; either way the mode follows.
TEST(NoteToolModel, UnsavedInkIsAskedAboutAsThePolicySays) {
    NoteToolModel model;
    PanelFrame frame = clickThrough(model, mode::kWhiteBoard, kShort);
    model.inkWritten();
    ASSERT_EQ(model.clickMode(mode::kCaptureBoard), ModeStep::AskFirst);
    ASSERT_TRUE(model.openSaveQuestion());
    EXPECT_TRUE(model.isSaveQuestionPending());
    EXPECT_EQ(model.clickMode(mode::kPointer), ModeStep::Ignore);
    EXPECT_EQ(model.clickMode(mode::kShareBoard), ModeStep::Ignore);
    EXPECT_EQ(model.getLastMode(), mode::kWhiteBoard);
    EXPECT_EQ(model.getMode(), mode::kCaptureBoard); // the board being left is saved as it is
    model.saveQuestionAnswered(true);
    EXPECT_FALSE(model.isSaveQuestionPending());
    EXPECT_FALSE(model.showsSavedMessage());
    model.inkSaved();
    model.saveEnded();
    EXPECT_TRUE(model.showsSavedMessage());
    frame = runSteps(model, mode::kCaptureBoard, frame);
    EXPECT_EQ(model.getLastMode(), mode::kCaptureBoard);
    EXPECT_FALSE(model.hasUnsavedInk());

    // Policies 1 and 2 ask nothing, and the ink is left unsaved.
    for (const char* policy : {"1", "2"}) {
        SCOPED_TRACE(policy);
        model.setNoteSaveMode(policy);
        model.inkWritten();
        ASSERT_EQ(model.clickMode(mode::kPointer), ModeStep::AskFirst);
        EXPECT_FALSE(model.openSaveQuestion());
        EXPECT_FALSE(model.isSaveQuestionPending());
        frame = runSteps(model, mode::kPointer, frame);
        EXPECT_EQ(model.getLastMode(), mode::kPointer);
        EXPECT_EQ(frame, kShort);
        EXPECT_TRUE(model.hasUnsavedInk());
        frame = runSteps(model, mode::kWhiteBoard, frame);
    }
    // Policy 0 again, and Cancel.
    model.setNoteSaveMode("0");
    ASSERT_EQ(model.clickMode(mode::kShareBoard), ModeStep::AskFirst);
    ASSERT_TRUE(model.openSaveQuestion());
    model.saveQuestionAnswered(false);
    EXPECT_FALSE(model.hasUnsavedInk());
    EXPECT_TRUE(model.showsSavedMessage());
    runSteps(model, mode::kShareBoard, frame);
    EXPECT_EQ(model.getLastMode(), mode::kShareBoard);
}

// A save that fails keeps the board open and its ink unsaved.
TEST(NoteToolModel, AFailedSaveKeepsTheBoardAndItsInk) {
    NoteToolModel model;
    showMode(model, mode::kWhiteBoard);
    model.inkWritten();
    ASSERT_EQ(model.clickMode(mode::kPointer), ModeStep::AskFirst);
    ASSERT_TRUE(model.openSaveQuestion());
    model.saveQuestionAnswered(true);
    model.saveEnded();
    EXPECT_TRUE(model.hasUnsavedInk());
    EXPECT_EQ(model.getLastMode(), mode::kWhiteBoard);
    EXPECT_TRUE(model.showsSavedMessage());
    EXPECT_FALSE(model.isSaveQuestionPending());
    // Leaving asks again.
    EXPECT_EQ(model.clickMode(mode::kPointer), ModeStep::AskFirst);
}

// The teacher's status texts on the upload and the share to the class, one after the other.
TEST(NoteToolModel, TeacherStatusesSetTheScreenStates) {
    struct Row {
        bool upload; // the upload status, else the share status
        const char* text;
        bool uploaded;
        bool shared;
    };
    const Row rows[] = {
        {true, "1", true, true},   {true, "2", false, true},  {true, "7", false, true},
        {true, "1", true, true},   {false, "1", true, true},  {false, "", true, true},
        {false, "2", true, false}, {true, "0", false, false}, {false, "0", false, false},
    };
    NoteToolModel model;
    // The student shares first, so the share status has something to end.
    model.screenUploadStatus(1);
    ASSERT_EQ(model.clickScreenShare(), notetool::ShareClick::SharingOn);
    model.screenButtonsRested();
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.upload ? "upload " : "share ") << '"' << r.text << '"');
        if (const auto status = notetool::statusFromText(r.text))
            r.upload ? model.screenUploadStatus(*status) : model.shareScreenStatus(*status);
        EXPECT_EQ(model.isScreenUploaded(), r.uploaded);
        EXPECT_EQ(model.isScreenShared(), r.shared);
    }
    model.screenUploadStatus(1);
    for (int outOfRange : {-1, 3}) {
        model.screenUploadStatus(outOfRange);
        model.shareScreenStatus(outOfRange);
    }
    EXPECT_TRUE(model.isScreenUploaded());
}

// The teacher's word that ends the share board leaves it through the pointer.
TEST(NoteToolModel, TheTeachersWordLeavesTheShareBoardThroughThePointer) {
    NoteToolModel model;
    PanelFrame frame = clickThrough(model, mode::kShareBoard, kShort);
    ASSERT_EQ(model.getLastMode(), mode::kShareBoard);
    frame = clickThrough(model, mode::kPointer, frame);
    EXPECT_EQ(model.getLastMode(), mode::kPointer);
    EXPECT_EQ(frame, kShort);
}

// The two screen buttons share one rest: a click on either makes both inert until it ends.
TEST(NoteToolModel, ScreenButtonsRestAfterAClick) {
    using notetool::ShareClick;
    using notetool::UploadClick;
    struct Row {
        const char* step;
        std::function<int(NoteToolModel&)> act; // the click's answer, or 0
        int answer;
        bool clickEnabled;
        bool shared;
    };
    const auto share = [](NoteToolModel& m) { return static_cast<int>(m.clickScreenShare()); };
    const auto upload = [](NoteToolModel& m) { return static_cast<int>(m.clickScreenUpload()); };
    const auto rest = [](NoteToolModel& m) {
        m.screenButtonsRested();
        return 0;
    };
    const auto uploaded = [](NoteToolModel& m) {
        m.screenUploadStatus(1);
        return 0;
    };
    const Row rows[] = {
        {"share, not uploaded", share, static_cast<int>(ShareClick::Inert), true, false},
        {"upload", upload, static_cast<int>(UploadClick::Ask), false, false},
        {"upload, resting", upload, static_cast<int>(UploadClick::Inert), false, false},
        {"share, resting", share, static_cast<int>(ShareClick::Inert), false, false},
        {"rested", rest, 0, true, false},
        {"the teacher receives", uploaded, 0, true, false},
        {"share on", share, static_cast<int>(ShareClick::SharingOn), false, true},
        {"share, resting", share, static_cast<int>(ShareClick::Inert), false, true},
        // While sharing an upload click only explains, rested or not.
        {"upload while sharing, resting", upload, static_cast<int>(UploadClick::WhileSharing), false, true},
        {"rested", rest, 0, true, true},
        {"upload while sharing", upload, static_cast<int>(UploadClick::WhileSharing), true, true},
        {"share off", share, static_cast<int>(ShareClick::SharingOff), false, false},
        {"rested", rest, 0, true, false},
        {"upload", upload, static_cast<int>(UploadClick::Ask), false, false},
    };
    NoteToolModel model;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.step);
        EXPECT_EQ(r.act(model), r.answer);
        EXPECT_EQ(model.isClickEnabled(), r.clickEnabled);
        EXPECT_EQ(model.isScreenShared(), r.shared);
    }
}

// The share turned off on the share board leaves it through the pointer.
TEST(NoteToolModel, SharingOffOnTheShareBoardLeavesIt) {
    NoteToolModel model;
    model.screenUploadStatus(1);
    PanelFrame frame = clickThrough(model, mode::kShareBoard, kShort);
    ASSERT_EQ(model.clickScreenShare(), notetool::ShareClick::SharingOn);
    model.screenButtonsRested();
    ASSERT_EQ(model.clickScreenShare(), notetool::ShareClick::SharingOff);
    ASSERT_EQ(model.getLastMode(), mode::kShareBoard);
    frame = clickThrough(model, mode::kPointer, frame);
    EXPECT_EQ(model.getLastMode(), mode::kPointer);
    EXPECT_EQ(frame, kShort);
}

// Ink written by a stroke stays unsaved until a save, which clears it wherever it is asked for.
TEST(NoteToolModel, InkIsUnsavedFromAStrokeToASave) {
    NoteToolModel model;
    showMode(model, mode::kWhiteBoard);
    EXPECT_FALSE(model.hasUnsavedInk());
    model.inkWritten();
    EXPECT_TRUE(model.hasUnsavedInk());
    model.inkSaved();
    EXPECT_FALSE(model.hasUnsavedInk());
    model.inkWritten();
    model.inkDropped();
    EXPECT_FALSE(model.hasUnsavedInk());
}

class BoardFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/olvex-boards-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_documents = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_documents); }
    std::string m_documents;
};

TEST_F(BoardFolder, SavesUnderTheDatedFolderAndNeverOverAnEarlierBoard) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 7;
    when.tm_hour = 14;
    when.tm_min = 15;
    when.tm_sec = 3;
    EXPECT_EQ(notetool::boardBaseName(when), "20240307_141503");
    std::vector<std::uint8_t> pixels(16 * 8 * 4, 0x80);
    const streaming::ImageView picture{pixels.data(), 16, 8, 16 * 4};
    const std::string folder = m_documents + "/OLVEX/2024-03-07";
    for (const char* name : {"20240307_141503.jpg", "20240307_141503_1.jpg", "20240307_141503_2.jpg"}) {
        const auto path = notetool::saveBoard(m_documents, when, picture);
        ASSERT_TRUE(path);
        EXPECT_EQ(*path, folder + "/" + name);
        std::ifstream in(*path, std::ios::binary);
        unsigned char soi[2] = {};
        in.read(reinterpret_cast<char*>(soi), 2);
        EXPECT_EQ(soi[0], 0xFF); // a JPEG
        EXPECT_EQ(soi[1], 0xD8);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3); // no partial file left
}

TEST_F(BoardFolder, AFolderThatCannotBeMadeFailsTheSave) {
    std::ofstream(m_documents + "/OLVEX") << "a file where the folder should be";
    std::vector<std::uint8_t> pixels(4 * 4 * 4, 0);
    EXPECT_FALSE(notetool::saveBoard(m_documents, std::tm{}, {pixels.data(), 4, 4, 16}));
}

} // namespace
