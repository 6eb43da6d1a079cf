// Receives the teacher's file pieces: takes each piece the client object left in the settings
// suite, writes it (FileChunkWriter), acknowledges it, and tells the student once a file is stored
// whole or once it has failed (a piece lost, out of sequence or not written). Runs on the client's receive
// thread, inside the post, so the link reads its next packet only once the piece is on disk and its
// acknowledgement queued.
#pragma once

#include "platform/UserDefaults.h"
#include "transfer/FileChunkWriter.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace transfer {

class FileReceiver {
public:
    static constexpr const char* kOverwriteOn = "1";
    static constexpr const char* kOverwriteOff = "0";
    // The suite's overwrite value once this side has taken the teacher's choice.
    static constexpr const char* kNoNewChoice = "-1";

    struct Hooks {
        std::function<std::string()> transferPath;    // folder the "OLVEX" folder lives in
        std::function<FileChunkWriter::Date()> today; // the local date
        std::function<void()> acknowledge;            // queues "[PC00010]" on the session's link
        // A file stored whole (under its final name) or failed.
        std::function<void(bool complete, const std::string& fileName)> fileFinished;
    };

    FileReceiver(std::shared_ptr<platform::UserDefaults> shared, Hooks hooks);

    // One piece announced (receive thread).
    void callbackOnReceivedFileData();
    // Takes over the teacher's overwrite choice from the suite.
    void setOverWrite();
    bool getOverwrite() const { return m_bOverwrite; }
    const FileChunkWriter& writer() const { return m_writer; }

    // Today in the local calendar.
    static FileChunkWriter::Date localToday();

private:
    std::shared_ptr<platform::UserDefaults> m_shared;
    Hooks m_hooks;
    std::mutex m_lock; // one piece at a time, whichever link's thread delivers it
    FileChunkWriter m_writer;
    bool m_bOverwrite = false;
};

} // namespace transfer
