#include "transfer/FileSender.h"

#include "client/ArchivedRecords.h"
#include "client/SettingsKeys.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "transfer/FileChunkReader.h"
#include "transfer/TransferEvents.h"
#include "transfer/TransferNames.h"

namespace transfer {
namespace {

constexpr const char* kApplicationExtension = "app";
constexpr const char* kFlagOn = "1";
constexpr const char* kFlagOff = "0";
// Files left to send after this one: a drop carries one file.
constexpr const char* kRemainFileCnt = "0";

} // namespace

FileSender::FileSender(platform::NotificationCenter& center, std::atomic<bool>& sending, Hooks hooks)
    : m_observers(center), m_pNotificationCenter(center), m_bIsSending(sending), m_hooks(std::move(hooks)) {}

FileSender::~FileSender() {
    m_retired.push_back(std::move(m_worker));
    for (Worker& worker : m_retired) {
        if (worker.queue)
            worker.queue->cancel(); // releases a worker waiting for room
        if (worker.thread.joinable())
            worker.thread.join();
    }
    if (m_fileSendTimer)
        m_fileSendTimer->invalidate();
}

void FileSender::reapWorkers() {
    std::erase_if(m_retired, [](Worker& worker) {
        if (worker.done && !worker.done->load())
            return false;
        if (worker.thread.joinable())
            worker.thread.join(); // its last step is done: the join returns at once
        return true;
    });
}

void FileSender::startObserving() {
    FileSender* self = this; // the observation ends before the sender goes (member order)
    m_observers.add(events::kSendedFileData, nullptr,
                    [self](const platform::Notification& note) { self->callbackSendedFile(note); });
}

const char* FileSender::sendFileToServer(const std::vector<std::string>& paths) {
    if (m_bIsSending.load() || paths.size() != 1)
        return kBusyOrManyKey;
    const std::string& path = paths.front();
    const std::string extension = transfernames::extensionOf(path);
    if (extension.empty() || extension == kApplicationExtension)
        return kNotAFileKey;
    std::unique_ptr<FileChunkReader> reader;
    switch (FileChunkReader::open(path, reader)) {
    case FileChunkReader::OpenResult::NotRegularFile:
        return kNotAFileKey;
    case FileChunkReader::OpenResult::Unreadable:
        return kUnreadableKey;
    case FileChunkReader::OpenResult::Opened:
        break;
    }
    // Set here, on the main thread, so a second drop is refused from this moment on.
    m_bIsSending.store(true);
    // The previous sending is over, but its worker may still be inside a read (a slow disk, a
    // stalled network folder): it is set aside, never waited for here.
    if (m_worker.queue)
        m_worker.queue->cancel();
    if (m_worker.thread.joinable())
        m_retired.push_back(std::move(m_worker));
    reapWorkers();
    const auto shared = platform::UserDefaults::suite();
    const auto slot = static_cast<int>(shared->integerValue(client::settings::kSlot));
    std::string name = transfernames::sentFileName(slot, shared->stringValue(client::settings::kAlias), path);
    // The name goes out as UTF-8 as it stands: a round trip through the Korean or Japanese code page
    // gives back every name that page can hold, and one it cannot hold is sent unchanged.
    auto queue = std::make_shared<FileSendQueue>(kQueuedPieces);
    {
        std::lock_guard lock(m_queueLock);
        m_queue = queue;
    }
    m_nNumOfParseFileSender = 0;
    if (!m_fileSendTimer) {
        auto weak = weak_from_this();
        m_fileSendTimer = platform::Timer::scheduled(kTickSeconds, true, [weak](platform::Timer&) {
            if (auto self = weak.lock())
                self->fileSender();
        });
    }
    if (m_hooks.openProgressWindow)
        m_hooks.openProgressWindow();
    postProgress(events::kSendFileDataStart, name, 0, reader->splitCount());
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_worker.queue = queue;
    m_worker.done = done;
    m_worker.thread = std::thread(&FileSender::readPieces, this, std::move(reader), std::move(name), queue,
                                  std::move(done));
    return nullptr;
}

void FileSender::readPieces(std::unique_ptr<FileChunkReader> reader, std::string name,
                            std::shared_ptr<FileSendQueue> queue, std::shared_ptr<std::atomic<bool>> done) {
    struct MarkDone {
        std::atomic<bool>& flag;
        ~MarkDone() { flag.store(true); }
    } markDone{*done};
    const std::int32_t total = reader->splitCount();
    const std::string totalSize = std::to_string(reader->size());
    std::vector<std::uint8_t> bytes;
    client::FileSample sample;
    std::int32_t seq = 0;
    for (;;) {
        if (!reader->readNext(bytes)) {
            std::weak_ptr<FileSender> weak = weak_from_this();
            platform::mainQueue::async([weak, queue] {
                if (auto self = weak.lock())
                    self->readFailed(queue);
            });
            return;
        }
        sample.fileData(bytes.empty() ? nullptr : bytes.data(), static_cast<std::int32_t>(bytes.size()), name,
                        total, seq);
        postPiece(*queue, client::archiveAsText(sample.archive()), totalSize, false);
        if (queue->cancelled())
            return;
        ++seq;
        if (reader->atEnd())
            break;
    }
    // The closing piece: no bytes, the sequence number one past the last piece.
    sample.fileData(nullptr, 0, name, total, seq);
    postPiece(*queue, client::archiveAsText(sample.archive()), totalSize, true);
    queue->finish();
}

void FileSender::postPiece(const FileSendQueue& queue, const std::string& archive,
                           const std::string& totalSize, bool last) {
    // Sent by the queue it is for, so a piece of an earlier sending never joins a later one.
    m_pNotificationCenter.post(events::kSendedFileData, &queue,
                               platform::Dictionary{{events::kKeyFileData, archive},
                                                    {events::kKeyTotalSize, totalSize},
                                                    {events::kKeyLastFile, last ? kFlagOn : kFlagOff},
                                                    {events::kKeyRemainFileCnt, kRemainFileCnt}});
}

void FileSender::callbackSendedFile(const platform::Notification& note) {
    // Only the current sending's pieces join its queue.
    std::shared_ptr<FileSendQueue> queue;
    {
        std::lock_guard lock(m_queueLock);
        queue = m_queue;
    }
    if (!queue || note.sender != queue.get())
        return;
    const std::string* archive = note.entry(events::kKeyFileData);
    if (!archive)
        return;
    queue->push(client::archiveFromText(*archive)); // waits while the queue is full
}

void FileSender::fileSender() {
    if (!m_queue)
        return;
    // A slow link still holds earlier pieces: this tick's piece waits, and the wait is no idle tick.
    if (linkBacklog() > kMaxBacklogBytes)
        return;
    if (auto archive = m_queue->tryPop()) {
        if (auto sample = client::FileSample::unarchive(*archive)) {
            if (!sendPiece(sample->getFileSample(), sample->getFileSize(), sample->getFileName(),
                           sample->getTotalFileSplitCnt(), sample->getFileSplitSeq())) {
                sendFailed();
                return;
            }
            postProgress(events::kSendedServerFileData, sample->getFileName(), sample->getFileSplitSeq(),
                         sample->getTotalFileSplitCnt());
        }
        m_nNumOfParseFileSender = 0;
        return;
    }
    // While the worker is still reading, an empty queue is no idle tick.
    if (!m_queue->finished())
        return;
    if (++m_nNumOfParseFileSender == kIdleTicksToStop)
        stop();
}

std::uint64_t FileSender::linkBacklog() const {
    if (m_linkBacklog)
        return m_linkBacklog();
    auto studentClient = m_hooks.studentClient ? m_hooks.studentClient() : nullptr;
    return studentClient ? studentClient->pendingBytes() : 0;
}

bool FileSender::sendPiece(const std::uint8_t* data, std::int32_t size, const std::string& name,
                           std::int32_t total, std::int32_t seq) {
    auto studentClient = m_hooks.studentClient ? m_hooks.studentClient() : nullptr;
    if (!studentClient) {
        platform::logf("[ZQ]file piece %d not sent: no session", seq);
        return false;
    }
    return studentClient->sendFilePiece({data, size, name, total, seq});
}

void FileSender::stop() {
    finishSending(kCompletedKey, kCompletedBoxSeconds, panel::events::kMsgLvInformation);
}

void FileSender::readFailed(const std::shared_ptr<FileSendQueue>& queue) {
    // A cancelled queue's sending has already ended (a piece the link refused).
    if (queue != m_queue || queue->cancelled())
        return;
    queue->cancel();
    finishSending(kFailedKey, 0.0f, panel::events::kMsgLvCaution);
}

void FileSender::sendFailed() {
    // Nothing is retried: the rest of the file cannot arrive whole, so the reader stops too.
    m_queue->cancel();
    finishSending(kLinkFailedKey, 0.0f, panel::events::kMsgLvCaution);
}

void FileSender::finishSending(const char* key, float closeTime, int level) {
    m_bIsSending.store(false);
    if (m_fileSendTimer) {
        m_fileSendTimer->invalidate();
        m_fileSendTimer.reset();
    }
    if (m_hooks.showMessagebox)
        m_hooks.showMessagebox(platform::localizedString(key), closeTime, level, 0);
    m_pNotificationCenter.post(events::kFileUploadViewClose);
}

void FileSender::postProgress(const char* name, const std::string& fileName, std::int32_t value,
                              std::int32_t max) {
    m_pNotificationCenter.post(name, this,
                               platform::Dictionary{{events::kKeyFileName, fileName},
                                                    {events::kKeyFileMin, std::to_string(value)},
                                                    {events::kKeyFileMax, std::to_string(max)}});
}

} // namespace transfer
