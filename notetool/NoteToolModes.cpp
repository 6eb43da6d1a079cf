// The note-tool panel's modes: the pointer, the capture and white boards on the drawing canvas, and
// the share board over the teacher's screen; with the question about unsaved ink and board saving.
#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "notetool/BoardSaver.h"
#include "notetool/CanvasWindow.h"
#include "notetool/NoteToolEvents.h"
#include "notetool/NoteToolView.h"
#include "notetool/ScreenStill.h"
#include "panel/AppDelegate.h"
#include "panel/CAlertWindow.h"
#include "panel/MainViewController.h"
#include "panel/PanelEvents.h"
#include "panel/ZQFile.h"
#include "platform/LocalTime.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/desktop/X11Desktop.h"

#include <ctime>

namespace notetool {

void NoteToolView::runModeStep(ModeStep step, void (NoteToolView::*steps)()) {
    if (step == ModeStep::AskFirst)
        saveNoteWithCompletion([this, steps] { (this->*steps)(); });
    else if (step == ModeStep::Enter)
        (this->*steps)();
}

void NoteToolView::onClickMacMode() {
    runModeStep(m_model.clickMode(mode::kPointer), &NoteToolView::executionMacMode);
}

void NoteToolView::executionMacMode() {
    m_model.startMode(mode::kPointer);
    setMode(mode::kPointer);
    ++m_nBoardRequest; // a capture still pending opens nothing now
    // Entering the pointer put the pen, red and the thinnest width back: show them.
    initPencilTool();
    initColorPicker();
    initThicknessTool();
    closeCanvas();
    applyModeImages(mode::kPointer);
    showGroups(mode::kPointer);
    if (const FrameChange change = m_model.enterMode(mode::kPointer); change != FrameChange::Keep)
        setPanelFrame(NoteToolModel::applyFrameChange(panelFrame(), change));
    if (m_mainView)
        m_mainView->showMainView();
}

void NoteToolView::onClickCaptureBoardMode() {
    runModeStep(m_model.clickMode(mode::kCaptureBoard), &NoteToolView::executionCaptureBoardMode);
}

void NoteToolView::executionCaptureBoardMode() {
    m_model.startMode(mode::kCaptureBoard);
    closeCanvas();
    hidePanelForCapture();
    const int request = ++m_nBoardRequest;
    m_nOpeningRequest = request;
    QPointer<NoteToolView> self = m_self;
    platform::mainQueue::asyncAfter(kCaptureDelay, [self, request] {
        if (!self)
            return;
        // The student or the teacher chose another mode meanwhile: no capture, and the panel comes
        // back, unless a newer capture request hid it for a still of its own.
        if (request != self->m_nBoardRequest || self->m_model.getMode() != mode::kCaptureBoard) {
            if (self->m_mainView && self->m_nOpeningRequest == request)
                self->m_mainView->showMainView();
            self->boardOpeningEnded(request);
            return;
        }
        if (self->m_mainView)
            self->m_mainView->setCaptureBoardImageDataForCanvas();
        self->m_pNotificationCenter.post(client::events::kScreenShareHide);
    });
    setMode(m_model.getMode());
    applyModeImages(mode::kCaptureBoard);
    showGroups(mode::kCaptureBoard);
}

void NoteToolView::callbackReceivedCaptureboard(const platform::Notification&) {
    onMainQueue([](NoteToolView& view) {
        if (const auto change = view.m_model.boardReady(mode::kCaptureBoard)) {
            view.setPanelFrame(NoteToolModel::applyFrameChange(view.panelFrame(), *change));
            view.openCanvas();
        } else if (view.m_mainView) {
            view.m_mainView->showMainView();
        }
        view.boardOpeningEnded(view.m_nOpeningRequest);
    });
}

void NoteToolView::onClickWhiteBoardMode() {
    runModeStep(m_model.clickMode(mode::kWhiteBoard), &NoteToolView::executionWhiteBoardMode);
}

void NoteToolView::executionWhiteBoardMode() {
    m_model.startMode(mode::kWhiteBoard);
    closeCanvas();
    ++m_nBoardRequest;
    if (m_mainView)
        m_mainView->setWhiteBoardImageDataForCanvas();
    m_pNotificationCenter.post(events::kWhiteBoardPressed);
    setMode(m_model.getMode());
    applyModeImages(mode::kWhiteBoard);
    showGroups(mode::kWhiteBoard);
}

void NoteToolView::callbackReceivedWhiteboard(const platform::Notification&) {
    onMainQueue([](NoteToolView& view) {
        if (const auto change = view.m_model.boardReady(mode::kWhiteBoard)) {
            view.setPanelFrame(NoteToolModel::applyFrameChange(view.panelFrame(), *change));
            view.openCanvas();
        }
    });
}

void NoteToolView::onClickScreenShareBoardMode() {
    // The question is a sheet with a continuation, so teacher commands that arrive while the student
    // thinks do not run inside a nested loop of this action.
    runModeStep(m_model.clickMode(mode::kShareBoard), &NoteToolView::enterShareBoard);
}

void NoteToolView::enterShareBoard() {
    closeCanvas();
    ++m_nBoardRequest;
    if (m_mainView)
        m_mainView->showMainView();
    m_model.startMode(mode::kShareBoard);
    setPanelFrame(NoteToolModel::applyFrameChange(panelFrame(), m_model.enterMode(mode::kShareBoard)));
    setMode(mode::kShareBoard);
    applyModeImages(mode::kShareBoard);
    showGroups(mode::kShareBoard);
    sendCommand(client::command::kShareBoardEnter);
    m_pNotificationCenter.post(client::events::kScreenShareShow);
}

void NoteToolView::sendCommand(const char* command) {
    // The note tool always talks on the direct link; in relay mode there is none and nothing goes.
    if (!m_mainView)
        return;
    if (auto studentClient = m_mainView->getStudentClient())
        studentClient->sendCommand(command, client::StudentClient::Link::Direct);
}

void NoteToolView::openCanvas() {
    // Never two full-screen canvases.
    closeCanvas();
    auto canvas = desktop::WindowRegistry::instantiate(desktop::storyboard::kCanvasWindow);
    if (!canvas) {
        if (m_mainView)
            m_mainView->showMainView();
        return;
    }
    panel::AppDelegate::shared().setCanvasController(canvas);
    canvas->showWindow();
}

void NoteToolView::closeCanvas() {
    if (auto canvas = panel::AppDelegate::shared().getCanvasWindowController())
        canvas->close();
}

void NoteToolView::hidePanelForCapture() {
    QWidget* top = window();
    if (top && top != this)
        desktop::x11::hideAndWaitForServer(top);
}

bool NoteToolView::onClickBoardSave() {
    bool saved = true;
    if (const int asked = m_model.getMode(); asked == mode::kCaptureBoard || asked == mode::kWhiteBoard) {
        // One time stamp for the folder and the name.
        const std::tm local = platform::localNow();
        auto* canvas =
            dynamic_cast<CanvasViewController*>(panel::AppDelegate::shared().getCanvasViewController().get());
        const QImage picture = canvas ? canvas->getImageFromCanvas() : QImage();
        std::optional<std::string> path;
        if (!picture.isNull()) {
            const QImage packed = picture.convertToFormat(QImage::Format_RGB32);
            path = saveBoard(ZQFile::getDocumentPath(), local,
                             {packed.constBits(), packed.width(), packed.height(), packed.bytesPerLine()});
        } else {
            platform::logf("[ZQ]No board picture to save.");
        }
        saved = path.has_value();
        if (saved) {
            m_model.inkSaved();
            if (m_model.showsSavedMessage())
                showMessagebox(platform::localizedString("ZQ_NOTIFICATION_SAVED_BOARD"), kMessageTime,
                               panel::events::kMsgLvInformation);
        } else {
            // The ink stays marked unsaved, so leaving the board still asks.
            showMessagebox(platform::localizedString("ZQ_NOTIFICATION_SAVE_BOARD_FAILED"), kMessageTime,
                           panel::events::kMsgLvCaution);
        }
    } else {
        m_model.inkSaved();
    }
    m_model.saveEnded();
    return saved;
}

void NoteToolView::saveNoteWithCompletion(std::function<void()> completion) {
    if (!m_model.openSaveQuestion()) {
        if (completion)
            completion();
        return;
    }
    QPointer<NoteToolView> self = m_self;
    auto* sheetWindow = panel::AppDelegate::shared().getCenterHidedWindow();
    CAlertWindow::createAlertWindow(
        sheetWindow, platform::localizedString("ZQ_NOTICE_TITLE"),
        platform::localizedString("ZQ_NOTIFICATION_CONFIRM_SAVE_BOARD"),
        [self, completion] {
            if (!self)
                return;
            self->m_model.saveQuestionAnswered(true);
            // A failed save keeps the board open: leaving it would lose the ink.
            if (self->onClickBoardSave() && completion)
                completion();
        },
        [self, completion] {
            if (!self)
                return;
            self->m_model.saveQuestionAnswered(false);
            if (completion)
                completion();
        });
}

} // namespace notetool
