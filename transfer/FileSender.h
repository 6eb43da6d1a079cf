// Sends the file the student drops on the panel: the drop (main thread) checks the item and starts
// a worker that reads the file piece by piece and hands each piece, archived, to the sender's
// bounded queue through "POST_MSG_SENDED_FILE_DATA"; a main-thread timer puts one piece a tick on
// the session's link while the link keeps up, reports progress, and ends the sending after 30 idle
// ticks, or at once with a failure box when a piece cannot be queued. The timer never sleeps, so
// the windows stay responsive. Main thread, except the worker and the observer that
// runs inside its posts.
#pragma once

#include "client/StudentClient.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "transfer/FileChunkReader.h"
#include "transfer/FileSendQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace transfer {

class FileChunkReader;

class FileSender : public std::enable_shared_from_this<FileSender> {
public:
    // The sender's tick: one piece a tick at the pace of a 10 ms tick followed by a 25 ms pause.
    static constexpr double kTickSeconds = 0.035;
    // Idle ticks in a row that end a sending.
    static constexpr int kIdleTicksToStop = 30;
    // Pieces read ahead of the link.
    static constexpr std::size_t kQueuedPieces = 4;
    // Bytes the link may hold unsent before a tick holds its piece back: a link slower than one
    // piece a tick drains at its own pace instead of filling its queue to the bound that ends it.
    static constexpr std::size_t kBacklogPieces = 4;
    static constexpr std::uint64_t kMaxBacklogBytes = kBacklogPieces * FileChunkReader::kPieceBytes;
    static constexpr float kCompletedBoxSeconds = 3.0f;
    // Refusals and failures (localised keys).
    static constexpr const char* kBusyOrManyKey = "ZQ_VALIDATION_CHECK_FILE";
    static constexpr const char* kNotAFileKey = "ZQ_VALIDATION_CHECK_FOLDER";
    static constexpr const char* kUnreadableKey = "ZQ_VALIDATION_CHECK_FILE_UNREADABLE";
    static constexpr const char* kCompletedKey = "ZQ_NOTIFICATION_COMPLETED_FILE_UPLOAD";
    static constexpr const char* kFailedKey = "ZQ_NOTIFICATION_FAILED_FILE_UPLOAD";
    static constexpr const char* kLinkFailedKey = "ZQ_NOTIFICATION_FAILED_FILE_UPLOAD_LINK";

    struct Hooks {
        std::function<std::shared_ptr<client::StudentClient>()> studentClient;
        std::function<void()> openProgressWindow;
        // A message box: text, close time in seconds (0 stays), level, OK hidden.
        std::function<void(const std::string&, float, int, int)> showMessagebox;
    };

    // sending is the hub's "a file is being sent" flag.
    FileSender(platform::NotificationCenter& center, std::atomic<bool>& sending, Hooks hooks);
    // Stops the running workers (their pending pieces are dropped) before the sender goes.
    ~FileSender();
    FileSender(const FileSender&) = delete;
    FileSender& operator=(const FileSender&) = delete;

    // Observes the worker's pieces; call once the sender is owned by a shared_ptr.
    void startObserving();

    // Main thread, at a drop: starts sending the one dropped file, or answers the key of the box
    // that refuses the drop (nothing is sent then).
    const char* sendFileToServer(const std::vector<std::string>& paths);

    // The worker's piece (worker thread, inside its post): queued, waiting while the queue is full.
    void callbackSendedFile(const platform::Notification& note);
    // One tick of the sender timer (main thread).
    void fileSender();

    bool isRunning() const { return m_fileSendTimer != nullptr; }
    // Replaces the query of the link's unsent bytes (tests stand in for a slow link with it).
    void setLinkBacklog(std::function<std::uint64_t()> query) { m_linkBacklog = std::move(query); }
    // Pieces read and not yet sent, and whether the worker has queued its last one (tests).
    std::size_t queuedPieces() const { return m_queue ? m_queue->size() : 0; }
    bool readerFinished() const { return m_queue && m_queue->finished(); }
    // Workers of earlier sendings that have not been joined yet (tests).
    std::size_t retiredWorkers() const { return m_retired.size(); }

private:
    // A reading thread and the queue it fills; done is set as the thread's last step.
    struct Worker {
        std::thread thread;
        std::shared_ptr<FileSendQueue> queue;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void readPieces(std::unique_ptr<FileChunkReader> reader, std::string name,
                    std::shared_ptr<FileSendQueue> queue, std::shared_ptr<std::atomic<bool>> done);
    void postPiece(const FileSendQueue& queue, const std::string& archive, const std::string& totalSize,
                   bool last);
    // Joins the retired workers that have ended; never waits for one still reading.
    void reapWorkers();
    // Bytes waiting unsent on the session's link, which the pieces go out on (0 without one).
    std::uint64_t linkBacklog() const;
    // Hands the piece to the session's client, which builds its packet and queues it on the
    // session's link; false when it could not be queued.
    bool sendPiece(const std::uint8_t* data, std::int32_t size, const std::string& name, std::int32_t total,
                   std::int32_t seq);
    void stop();
    void readFailed(const std::shared_ptr<FileSendQueue>& queue);
    void sendFailed();
    void finishSending(const char* key, float closeTime, int level);
    void postProgress(const char* name, const std::string& fileName, std::int32_t value, std::int32_t max);

    platform::ObserverSet m_observers; // first in, last out: removed after the worker has ended
    platform::NotificationCenter& m_pNotificationCenter;
    std::atomic<bool>& m_bIsSending;
    Hooks m_hooks;
    std::function<std::uint64_t()> m_linkBacklog; // empty: the link's own count
    // The current sending's queue; replaced at the next drop (main thread), read by the worker's
    // post under m_queueLock.
    mutable std::mutex m_queueLock;
    std::shared_ptr<FileSendQueue> m_queue;
    std::shared_ptr<platform::Timer> m_fileSendTimer;
    int m_nNumOfParseFileSender = 0;
    Worker m_worker;
    // Workers of earlier sendings: a drop never waits on the main thread for one that is still in
    // a read; each is joined once it has ended, or when the sender goes.
    std::vector<Worker> m_retired;
};

} // namespace transfer
