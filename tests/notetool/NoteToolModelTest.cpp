// The note tool's state without widgets: pen widths, the teacher's status texts and save policy,
// the panel's frame for each mode change, and where a board is saved.
#include "notetool/NoteToolModel.h"

#include "notetool/BoardSaver.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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
