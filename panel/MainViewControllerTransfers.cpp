// The main view controller's part in the chat and in files both ways: it opens the chat window for
// the teacher's lines, and hands the teacher's file pieces and the file dropped on the panel to the
// file transfer the transfer library makes for it.
#include "client/ClientEvents.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "panel/TeacherChatViewing.h"
#include "platform/Log.h"
#include "platform/MainQueueObserver.h"

namespace panel {
namespace {

// A console sending chat lines without end drops waiting lines at every one: a few lines a second.
constexpr int kDroppedChatLinesPerSecond = 3;

platform::LogRateLimit& droppedChatLog() {
    static platform::LogRateLimit limit(kDroppedChatLinesPerSecond);
    return limit;
}

struct TransfersFactory {
    std::mutex lock;
    MainViewController::FileTransfersFactory make;
};

TransfersFactory& transfersFactory() {
    static TransfersFactory factory;
    return factory;
}

} // namespace

void MainViewController::setFileTransfersFactory(FileTransfersFactory factory) {
    std::lock_guard<std::mutex> lock(transfersFactory().lock);
    transfersFactory().make = std::move(factory);
}

void MainViewController::addTransferObservers() {
    FileTransfersFactory make;
    {
        std::lock_guard<std::mutex> lock(transfersFactory().lock);
        make = transfersFactory().make;
    }
    // The drop target for sending files; the note tool places it among its controls.
    if (make)
        m_fileTransfers = make(*this, view());
    // The panel stays where it is while a file is dragged over its drop target.
    FileTransfers* transfers = m_fileTransfers.get();
    m_titleView->moveEnabled = [this, transfers] {
        return isMoveEnabled() && !(transfers && transfers->isDragging());
    };

    m_observers.add(client::events::kFileData, nullptr,
                    [this](const platform::Notification& note) { callbackOnReceivedFileData(note); });
    m_observers.add(client::events::kTeacherChat, nullptr,
                    platform::onMainQueue(
                        [this](const platform::Notification& note) { return callbackOnReceivedChat(note); }));
}

void MainViewController::callbackOnReceivedFileData(const platform::Notification&) {
    // On the receive thread, inside the client's post: the piece is on disk and acknowledged before
    // the link reads on.
    if (m_fileTransfers)
        m_fileTransfers->callbackOnReceivedFileData();
}

platform::Block MainViewController::callbackOnReceivedChat(const platform::Notification& note) {
    const std::string* chat = note.entry(client::events::kKeyChat);
    if (!chat)
        return {};
    auto self = selfReference();
    if (!self)
        return {};
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
    if (!queue)
        return {};
    return [self] { self->showPendingChat(); };
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
    return m_fileTransfers ? m_fileTransfers->sendFileToServer(paths) : nullptr;
}

} // namespace panel
