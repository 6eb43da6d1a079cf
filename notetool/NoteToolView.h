// The note-tool panel: the buttons that fill the main panel under its title, the mode machine of its
// model (pointer, capture board, share board, white board) shown with the panel's layout, the drawing
// settings the canvas and the share board read, board saving, and the teacher's control of it all.
// NoteToolView.cpp holds the widgets and tools, NoteToolModes.cpp the modes and saving,
// NoteToolTeacher.cpp the teacher's commands, the screen buttons, minimising and closing.
// Widgets and actions on the main thread; the observers run on the posting thread and hop there.
#pragma once

#include "notetool/NoteToolModel.h"
#include "panel/MainViewController.h"
#include "panel/NoteToolSettings.h"
#include "panel/SmallWindows.h"
#include "platform/NotificationCenter.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QLabel;

namespace notetool {

class NoteToolView : public QWidget, public panel::NoteToolSettings {
public:
    // The panel's width and the place of its minimise and close buttons (the minimise button takes
    // the close button's place while the teacher forbids closing).
    // The panel's object name, by which it is found among the main panel's widgets.
    static constexpr const char* kObjectName = "m_pNoteToolView";
    static constexpr int kPanelWidth = 185;
    static constexpr int kMinimizeX = 96;
    static constexpr int kCloseX = 140;
    static constexpr float kUploadReenable = 3.0f;
    static constexpr float kShareReenable = 1.5f;
    static constexpr float kShareLeaveReenable = 0.5f;
    static constexpr double kCaptureDelay = 0.5;
    static constexpr float kMessageTime = 1.5f;

    explicit NoteToolView(QWidget* parent = nullptr, platform::NotificationCenter& center =
                                                         platform::NotificationCenter::defaultCenter());
    ~NoteToolView() override;

    // The set-up the main view controller runs when its view loads.
    void noteToolView(panel::MainViewController& controller);
    // The reference the main view controller keeps (weakly) for the drawing surfaces.
    std::shared_ptr<panel::NoteToolSettings> settingsHandle() const { return m_settingsHandle; }
    // The panel inside a main panel window, or null.
    static NoteToolView* in(QWidget* window);

    // Drawing settings (NoteToolSettings).
    int getMode() const override;
    void setMode(int mode);
    int getToolMode() const override { return m_model.getToolMode(); }
    float getThickness() const override { return m_model.getThickness(); }
    int getThicknessMode() const override { return m_model.getThicknessMode(); }
    bool getIsBlend() const override { return m_model.getIsBlend(); }
    int getColorMode() const override { return m_model.getColorMode(); }
    void setWrite(bool written) override;
    const NoteToolModel& model() const { return m_model; }

    // Modes.
    void onClickMacMode();
    void onClickCaptureBoardMode();
    void onClickWhiteBoardMode();
    void onClickScreenShareBoardMode();
    void executionMacMode();
    void executionCaptureBoardMode();
    void executionWhiteBoardMode();
    void callbackReceivedCaptureboard(const platform::Notification& note);
    void callbackReceivedWhiteboard(const platform::Notification& note);

    // Tools.
    void onClickPenMode();
    void onClickEraseMode();
    void onClickEraseAllMode();
    void onClickThickness(int thicknessMode);
    void onClickColor(int colorMode);
    void onClickBlendMode();
    // Saves the open capture or white board; false when a board was open and could not be saved.
    bool onClickBoardSave();
    // Asks about unsaved ink (as the teacher's policy says), then runs completion; the question is
    // a sheet, so this returns at once. A failed save leaves the board open and skips completion.
    void saveNoteWithCompletion(std::function<void()> completion);
    bool isSaveQuestionPending() const { return m_model.isSaveQuestionPending(); }
    void showMessagebox(const std::string& text, float closeTime, int msgLv);

    // Teacher's commands and the student's panel buttons.
    void callbackReceivedScreenUploadStatus(const std::string& status);
    void callbackReceivedShareScreenStatus(const std::string& status);
    void callbackReceivedShareNoteToolStatus(const std::string& status);
    void callbackReceivedDisabledX();
    void callbackReceivedEnabledX();
    // The teacher locked the screen or hid the close button since the student asked to close.
    bool closingWithdrawn() const;
    void callbackReceivedNoteSaveMode(const platform::Notification& note);
    void callbackReceivedNoteToolShowHide(const platform::Notification& note);
    void callbackNotetoolLock(const platform::Notification& note);
    void onClickScreenUpload();
    void onClickScreenShare();
    void onClickMinimize();
    void onClickClose();

    // Buttons by outlet name ("m_btnPen"...), and the image each shows (tests, screenshots).
    QPushButton* outlet(const std::string& name) const;
    static std::string imageOf(const QPushButton* button);
    QWidget* drawView() const { return m_drawView; }
    QWidget* etcView() const { return m_etcView; }

private:
    // The set-up's parts: the title and the groups' colours, the observers of the boards and of the
    // teacher, the buttons' first images, and the hub's file drop target and title menu.
    void setUpTitleAndGroups();
    void observeBoards();
    void observeTeacher();
    void initialButtons();
    void placeFileDrop(panel::MainViewController& controller);
    void addTitleMenu(panel::MainViewController& controller);
    QPushButton* addButton(QWidget* parent, const std::string& outletName, int x, int y,
                           std::function<void()> action);
    void setImage(QPushButton* button, const std::string& image);
    void layoutGroups();
    void initPencilTool();
    void initThicknessTool();
    void initColorPicker();
    void applyModeImages(int mode);
    void showGroups(int mode);
    void setPanelFrame(const PanelFrame& frame);
    PanelFrame panelFrame() const;
    // Runs a mode's steps as the model's answer to a click says.
    void runModeStep(ModeStep step, void (NoteToolView::*steps)());
    void enterShareBoard();
    void leaveShareBoardOnTeachersWord();
    void openCanvas();
    void closeCanvas();
    void hidePanelForCapture();
    void sendCommand(const char* command);
    void observe(const char* name, std::function<void(const platform::Notification&)> handler);
    void onMainQueue(std::function<void(NoteToolView&)> work);
    // A teacher command's effect on the windows (any thread): runs on the main thread after every
    // effect of the commands that came before it, and after a capture board being opened has opened
    // (or given up), so it acts on the panel's frame as the board leaves it.
    void teacherEffect(std::function<void(NoteToolView&)> work);
    void runTeacherEffects();
    void boardOpeningEnded(int request);

    platform::NotificationCenter& m_pNotificationCenter;
    platform::ObserverSet m_observers;
    NoteToolModel m_model;
    panel::MainViewController* m_mainView = nullptr; // lives for the process
    std::shared_ptr<int> m_lifetime;                 // ends the weak references when the panel goes
    std::shared_ptr<panel::NoteToolSettings> m_settingsHandle;
    QPointer<NoteToolView> m_self;
    // Each board request gets a number; a delayed step of an older request opens nothing.
    int m_nBoardRequest = 0;
    // The capture board request whose opening is under way (0: none).
    int m_nOpeningRequest = 0;
    std::deque<std::function<void(NoteToolView&)>> m_teacherEffects;

    QLabel* m_tfMemberName = nullptr;
    QWidget* m_controlView = nullptr;
    QWidget* m_drawView = nullptr;
    QWidget* m_etcView = nullptr;
    std::map<std::string, QPushButton*> m_outlets;
    QPushButton* m_btnClose = nullptr;
    QPushButton* m_btnMinimize = nullptr;
    QPushButton* m_btnScreenUpload = nullptr;
    QPushButton* m_btnScreenShare = nullptr;
    QPushButton* m_btnMac = nullptr;
    QPushButton* m_btnCaptureBoard = nullptr;
    QPushButton* m_btnWhiteBoard = nullptr;
    QPushButton* m_btnShareBoard = nullptr;
    QPushButton* m_btnBlendOption = nullptr;
    QPushButton* m_btnSaveImage = nullptr;
};

} // namespace notetool
