// The teacher's control of the note-tool panel (status texts on its buttons, the close button, the
// save policy, the lock into the minimised tab), the student's two screen buttons, minimising and
// closing.
#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "client/GlobalConfig.h"
#include "notetool/NoteToolEvents.h"
#include "notetool/NoteToolView.h"
#include "panel/AppDelegate.h"
#include "panel/CAlertWindow.h"
#include "panel/FloatText.h"
#include "panel/MainViewController.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"

#include <QGraphicsOpacityEffect>

namespace notetool {
namespace {

constexpr double kInertAlpha = 0.5;
constexpr double kActiveAlpha = 1.0;
constexpr int kExitStatus = 0;
constexpr const char* kLockOn = "1";
constexpr const char* kShowHideQuery = "0";

void setAlpha(QWidget* button, double alpha) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(button->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(button); // owned by the button
        button->setGraphicsEffect(effect);
    }
    effect->setOpacity(alpha);
}

} // namespace

void NoteToolView::callbackReceivedScreenUploadStatus(const std::string& text) {
    const auto status = statusFromText(text);
    if (!status)
        return;
    const char* images[] = {"btn_upscreen_normal", "btn_upscreen_checked", "btn_upscreen_disabled"};
    setImage(m_btnScreenUpload, images[*status]);
    m_btnScreenUpload->setEnabled(*status != 2);
    m_model.screenUploadStatus(*status);
}

void NoteToolView::callbackReceivedShareScreenStatus(const std::string& text) {
    const auto status = statusFromText(text);
    if (!status)
        return;
    const char* images[] = {"note_sharescreen", "note_sharescreen_checked", "btn_sharescreen_disabled"};
    setImage(m_btnScreenShare, images[*status]);
    m_btnScreenShare->setEnabled(*status != 2);
    m_model.shareScreenStatus(*status);
}

void NoteToolView::callbackReceivedShareNoteToolStatus(const std::string& text) {
    const auto status = statusFromText(text);
    if (!status)
        return;
    switch (*status) {
    case 0:
        setImage(m_btnShareBoard, "note_sb_disabled");
        m_btnShareBoard->setEnabled(false);
        leaveShareBoardOnTeachersWord();
        break;
    case 1:
        setImage(m_btnShareBoard, "note_sb");
        m_btnShareBoard->setEnabled(true);
        break;
    default:
        if (m_btnShareBoard->isEnabled())
            setImage(m_btnShareBoard, "note_sb");
        leaveShareBoardOnTeachersWord();
        break;
    }
}

void NoteToolView::leaveShareBoardOnTeachersWord() {
    if (m_mainView)
        m_mainView->setScreenShareWindowOpenStatus(false);
    if (m_model.getLastMode() == mode::kShareBoard) {
        if (m_mainView)
            m_mainView->setIsScreenShareCaptured(false);
        onClickMacMode();
    }
}

void NoteToolView::callbackReceivedDisabledX() {
    m_btnMinimize->move(kCloseX, static_cast<int>(static_cast<float>(m_btnClose->y())));
    m_btnClose->hide();
}

void NoteToolView::callbackReceivedEnabledX() {
    m_btnMinimize->move(kMinimizeX, static_cast<int>(static_cast<float>(m_btnClose->y())));
    m_btnClose->show();
}

void NoteToolView::callbackReceivedNoteSaveMode(const platform::Notification& note) {
    // Only stores a number, so it runs on the posting thread.
    m_model.setNoteSaveMode(note.value(client::events::kKeyNoteSave));
}

void NoteToolView::callbackReceivedNoteToolShowHide(const platform::Notification& note) {
    if (note.value(client::events::kKeyStatus) != kShowHideQuery)
        return;
    m_pNotificationCenter.post(
        events::kNoteToolMode, nullptr,
        platform::Dictionary{{client::events::kKeyStatus, std::to_string(m_model.getMode())}});
}

void NoteToolView::callbackNotetoolLock(const platform::Notification& note) {
    if (note.value(client::events::kKeyLock) == kLockOn) {
        teacherEffect([](NoteToolView& view) {
            if (!client::GlobalConfig::shared().isMinimizeEnabled())
                view.onClickMinimize();
            view.m_pNotificationCenter.post(client::events::kNoteToolLock, nullptr,
                                            platform::Dictionary{{client::events::kKeyMaximize, "0"}});
        });
        return;
    }
    // The teacher's unlock comes from the receive thread. The tab takes it only on the main thread,
    // so the panel hands it on there behind the lock that may still be on its way to making the tab.
    const platform::Dictionary* unlock = note.dictionary();
    if (platform::mainQueue::isMainThread() || !unlock || !unlock->count(client::events::kKeyMaximize))
        return;
    teacherEffect([unlock = *unlock](NoteToolView& view) {
        view.m_pNotificationCenter.post(client::events::kNoteToolLock, nullptr, unlock);
    });
}

void NoteToolView::onClickScreenUpload() {
    switch (m_model.clickScreenUpload()) {
    case UploadClick::WhileSharing:
        showMessagebox(platform::localizedString("ZQ_NOTIFICATION_CONFIRM_SCREEN_SHARE"), kMessageTime,
                       panel::events::kMsgLvInformation);
        return;
    case UploadClick::Inert:
        return;
    case UploadClick::Ask:
        break;
    }
    m_pNotificationCenter.post(events::kScreenShareInit);
    sendCommand(client::command::kToggleScreenUpload);
    setImage(m_btnScreenUpload, m_model.isScreenUploaded() ? "btn_upscreen_checked" : "btn_upscreen_normal");
    setAlpha(m_btnScreenUpload, kInertAlpha);
    QPointer<NoteToolView> self = m_self;
    platform::mainQueue::asyncAfter(kUploadReenable, [self] {
        if (!self)
            return;
        self->m_model.screenButtonsRested();
        setAlpha(self->m_btnScreenUpload, kActiveAlpha);
    });
}

void NoteToolView::onClickScreenShare() {
    const ShareClick click = m_model.clickScreenShare();
    if (click == ShareClick::Inert)
        return;
    QPointer<NoteToolView> self = m_self;
    auto reenable = [self] {
        if (!self)
            return;
        self->m_model.screenButtonsRested();
        setAlpha(self->m_btnScreenShare, kActiveAlpha);
    };
    if (click == ShareClick::SharingOff) {
        setImage(m_btnScreenShare, "note_sharescreen");
        setAlpha(m_btnScreenShare, kInertAlpha);
        if (m_model.getLastMode() == mode::kShareBoard) {
            platform::mainQueue::asyncAfter(kShareLeaveReenable, reenable);
            onClickMacMode();
            sendCommand(client::command::kShareBoardLeave);
            if (m_mainView)
                m_mainView->setIsScreenShareCaptured(false);
        }
    } else {
        setImage(m_btnScreenShare, "note_sharescreen_checked");
        setAlpha(m_btnScreenShare, kInertAlpha);
    }
    sendCommand(client::command::kToggleUploadShare);
    platform::mainQueue::asyncAfter(kShareReenable, reenable);
}

void NoteToolView::onClickMinimize() {
    QWidget* top = window();
    auto* panelWindow = dynamic_cast<desktop::Window*>(top);
    if (auto main = panel::AppDelegate::shared().getMainWindowController(); main && main->window() == top)
        main->close();
    else if (top && top != this)
        top->hide();
    auto tab = desktop::WindowRegistry::instantiate(desktop::storyboard::kMinimizeWindow);
    if (!tab)
        return;
    tab->showWindow();
    const desktop::Frame frame = panelWindow ? panelWindow->frame() : desktop::Frame{};
    const double fY = m_model.getMode() != mode::kPointer ? frame.y + kDownHeight : frame.y;
    m_pNotificationCenter.post(events::kMinimizeWindow, nullptr,
                               platform::Dictionary{{panel::events::kKeyFX, panel::formatFloat(frame.x)},
                                                    {panel::events::kKeyFY, panel::formatFloat(fY)}});
}

bool NoteToolView::closingWithdrawn() const {
    return (m_mainView && m_mainView->isScreenLocked()) || (m_btnClose && m_btnClose->isHidden());
}

void NoteToolView::onClickClose() {
    // One question at a time: each further press or close request would stack another.
    if (m_mainView && m_mainView->isCloseQuestionOpen())
        return;
    QPointer<NoteToolView> self = m_self;
    QWidget* question = CAlertWindow::createAlertWindow(
        panel::AppDelegate::shared().getCenterHidedWindow(), platform::localizedString("ZQ_NOTICE_TITLE"),
        platform::localizedString("ZQ_NOTIFICATION_EXIT"),
        [self] {
            // The question may have stood while the teacher locked the screen or took the close
            // button away: the teacher's word since then wins and the student stays in class.
            if (self && self->closingWithdrawn()) {
                platform::logf(
                    "[ZQ]Close confirmed after the teacher locked the screen or disabled closing: ignored.");
                return;
            }
            if (self && self->m_mainView)
                if (auto studentClient = self->m_mainView->getStudentClient())
                    studentClient->closeConnection();
            // The one way the process ends, as the main window's close does.
            platform::terminate(kExitStatus);
        },
        [] {});
    if (m_mainView)
        m_mainView->setCloseQuestion(question);
}

} // namespace notetool
