// The main view controller's part in the chat and in files both ways: it opens the chat window for
// the teacher's lines, stores the teacher's file pieces and sends the file dropped on the panel.
#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "panel/DragDropImageView.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "panel/MessageboxWindow.h"
#include "panel/TeacherChatViewing.h"
#include "panel/ZQFile.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

namespace panel {
namespace {

// A console sending chat lines without end drops waiting lines at every one: a few lines a second.
constexpr int kDroppedChatLinesPerSecond = 3;

platform::LogRateLimit& droppedChatLog() {
    static platform::LogRateLimit limit(kDroppedChatLinesPerSecond);
    return limit;
}

} // namespace

void MainViewController::addTransferObservers() {
    // The panel stays where it is while a file is dragged over its drop target.
    DragDropImageView* dropView = m_ivFileUpload;
    m_titleView->moveEnabled = [this, dropView] {
        return isMoveEnabled() && !(dropView && dropView->isDragging());
    };

    FileReceiver::Hooks receiving;
    receiving.transferPath = [] { return ZQFile::getTransferPath(); };
    receiving.acknowledge = [this] {
        // The link the session runs on: direct, or wrapped for the relay.
        if (auto studentClient = getStudentClient())
            studentClient->sendCommand(client::command::kFileChunkAck,
                                       client::StudentClient::Link::ByConfiguration);
    };
    m_fileOutcomes = std::make_shared<FileOutcomeBoxes>();
    receiving.fileFinished = [outcomes = m_fileOutcomes](bool complete, const std::string& fileName) {
        outcomes->record(complete ? FileOutcomeBoxes::Kind::Received : FileOutcomeBoxes::Kind::Failed,
                         fileName);
    };
    m_fileReceiver = std::make_unique<FileReceiver>(platform::UserDefaults::suite(), std::move(receiving));

    FileSender::Hooks sending;
    sending.studentClient = [this] { return getStudentClient(); };
    sending.openProgressWindow = [] {
        if (auto progress = desktop::WindowRegistry::instantiate(desktop::storyboard::kFileUploaderWindow))
            progress->showWindow();
    };
    sending.showMessagebox = [](const std::string& text, float closeTime, int msgLv, int hidden) {
        panel::showMessagebox(text, closeTime, msgLv, hidden);
    };
    m_fileSender = std::make_shared<FileSender>(m_pNotificationCenter, m_bIsSending, std::move(sending));
    m_fileSender->startObserving();

    m_observers.add(client::events::kFileData, nullptr,
                    [this](const platform::Notification& note) { callbackOnReceivedFileData(note); });
    m_observers.add(client::events::kTeacherChat, nullptr,
                    [this](const platform::Notification& note) { callbackOnReceivedChat(note); });
}

void MainViewController::callbackOnReceivedFileData(const platform::Notification&) {
    // On the receive thread, inside the client's post: the piece is on disk and acknowledged before
    // the link reads on.
    m_fileReceiver->callbackOnReceivedFileData();
}

void MainViewController::callbackOnReceivedChat(const platform::Notification& note) {
    const std::string* chat = note.entry(client::events::kKeyChat);
    if (!chat)
        return;
    auto self = selfReference();
    if (!self)
        return;
    // Everything happens on the main queue, in arrival order: lines that come before the window
    // has opened are each shown once in it. Lines that come faster than the window shows them
    // wait in one list behind one queued block; past what the log could show, the oldest waiting
    // go, as the log would drop them.
    bool dropped = false;
    bool queue = false;
    {
        std::lock_guard lock(m_chatLock);
        m_pendingChat.push_back(*chat);
        if (m_pendingChat.size() > static_cast<std::size_t>(TeacherChatViewing::kMaxShownTeacherLines)) {
            m_pendingChat.pop_front();
            dropped = true;
        }
        queue = !m_bChatShowQueued;
        m_bChatShowQueued = true;
    }
    if (dropped)
        droppedChatLog().logf("[ZQ]Teacher chat lines come faster than shown; the oldest waiting dropped");
    if (queue)
        platform::mainQueue::async([self] { self->showPendingChat(); });
}

void MainViewController::showPendingChat() {
    std::deque<std::string> lines;
    {
        std::lock_guard lock(m_chatLock);
        lines.swap(m_pendingChat);
        m_bChatShowQueued = false;
    }
    for (const std::string& line : lines)
        showTeacherChat(line);
}

void MainViewController::showTeacherChat(const std::string& text) {
    auto chatWindow = m_chatWndController.lock();
    if (!chatWindow || !chatWindow->isOpen()) {
        if (text == TeacherChatViewing::kNoText)
            return; // neither shown nor opening the window
        chatWindow = desktop::WindowRegistry::instantiate(desktop::storyboard::kMessageWindow);
        if (!chatWindow)
            return;
        chatWindow->showWindow();
        m_chatWndController = chatWindow;
        setIsOpenChatView(true);
    }
    if (auto* content = dynamic_cast<TeacherChatViewing*>(chatWindow->contentViewController()))
        content->callbackOnReceivedTeacherChat(text);
}

const char* MainViewController::sendFileToServer(const std::vector<std::string>& paths) {
    return m_fileSender->sendFileToServer(paths);
}

} // namespace panel
