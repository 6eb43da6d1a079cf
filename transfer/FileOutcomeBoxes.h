// Tells the student of received and failed files with one message box per kind at a time: while the
// box of a kind is open, a later outcome of that kind updates its text (the latest file and how many
// more) instead of opening another box, so a burst of files never floods the screen. record() runs
// on any thread (the client's receive thread); the boxes are opened and updated on the main queue.
#pragma once

#include "platform/desktop/WindowController.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace transfer {

class FileOutcomeBoxes : public std::enable_shared_from_this<FileOutcomeBoxes> {
public:
    enum class Kind { Received, Failed };

    static constexpr const char* kReceivedKey = "ZQ_NOTIFICATION_DOWNLOADED_FILE";
    static constexpr const char* kFailedKey = "ZQ_NOTIFICATION_FAILED_FILE_DOWNLOAD";
    // "%1" the latest file, "%2" how many more.
    static constexpr const char* kReceivedManyKey = "ZQ_NOTIFICATION_DOWNLOADED_FILES";
    static constexpr const char* kFailedManyKey = "ZQ_NOTIFICATION_FAILED_FILE_DOWNLOADS";
    static constexpr float kReceivedBoxSeconds = 3.0f;
    // Characters of a file name a box shows whole; a longer name keeps its start and its end.
    static constexpr int kMaxShownNameLength = 48;

    // Owned through a shared pointer: the queued work holds it.
    FileOutcomeBoxes() = default;

    // One file's outcome. Any thread.
    void record(Kind kind, const std::string& fileName);

    // The text of a box of count outcomes (at least one) whose latest is fileName.
    static std::string boxText(Kind kind, const std::string& fileName, std::uint64_t count);

private:
    static constexpr std::size_t kKinds = 2;
    struct Pending {
        std::uint64_t count = 0;
        std::string latest;
    };
    struct Shown {
        std::weak_ptr<desktop::WindowController> box;
        std::uint64_t count = 0;
        std::string text; // what this writer last put in the box
    };

    void showPending(); // main thread
    void show(Kind kind, const Pending& pending);

    std::mutex m_mutex;
    std::array<Pending, kKinds> m_pending; // guarded by m_mutex
    bool m_bShowQueued = false;            // guarded by m_mutex: one queued block carries any burst
    std::array<Shown, kKinds> m_shown;     // main thread
};

} // namespace transfer
