#include "transfer/FileReceiver.h"

#include "client/ArchivedRecords.h"
#include "client/SettingsKeys.h"
#include "platform/LocalTime.h"
#include "platform/Log.h"

#include <ctime>

namespace transfer {
namespace {

// Every refused or unreadable piece leads here; a console can send them without end.
constexpr int kNotReadyLinesPerSecond = 3;

platform::LogRateLimit& notReadyLog() {
    static platform::LogRateLimit limit(kNotReadyLinesPerSecond);
    return limit;
}

} // namespace

FileReceiver::FileReceiver(std::shared_ptr<platform::UserDefaults> shared, Hooks hooks)
    : m_shared(std::move(shared)), m_hooks(std::move(hooks)) {}

FileChunkWriter::Date FileReceiver::localToday() {
    const std::tm local = platform::localNow();
    // Today from the system clock: its year fits the writer's field.
    return {static_cast<int>(platform::calendarYear(local)), platform::calendarMonth(local), local.tm_mday};
}

void FileReceiver::setOverWrite() {
    const auto value = m_shared->string(client::settings::kDataFileOverwrite);
    if (value && *value == kOverwriteOff)
        m_bOverwrite = false;
    else if (value && *value == kOverwriteOn)
        m_bOverwrite = true;
    if (!value || *value != kNoNewChoice) {
        m_shared->setString(client::settings::kDataFileOverwrite, kNoNewChoice);
        m_shared->synchronize();
    }
}

void FileReceiver::callbackOnReceivedFileData() {
    std::lock_guard lock(m_lock);
    std::optional<client::FileSample> sample;
    // Moved out of the suite and released as soon as it is read: a large piece is held at most
    // twice (archive and bytes) and only for a moment.
    if (auto archive = m_shared->takeData(client::settings::kArchivedFileData))
        sample = client::FileSample::unarchive(std::move(*archive));
    setOverWrite();
    FileChunkWriter::Result result;
    if (!sample) {
        notReadyLog().logf("[ZQ]Not ready data");
        // The piece is gone, so the file it belonged to cannot arrive whole.
        result = m_writer.pieceLost();
    } else {
        FileChunkWriter::Piece piece;
        piece.data = sample->getFileSample();
        piece.size = sample->getFileSize() > 0 ? static_cast<std::size_t>(sample->getFileSize()) : 0;
        piece.fileName = sample->getFileName();
        piece.totalSplitCnt = sample->getTotalFileSplitCnt();
        piece.splitSeq = sample->getFileSplitSeq();
        const std::string folder = m_hooks.transferPath ? m_hooks.transferPath() : std::string();
        result =
            m_writer.writePiece(piece, folder, m_hooks.today ? m_hooks.today() : localToday(), m_bOverwrite);
    }
    if ((result.stored || result.newlyFailed) && m_hooks.fileFinished)
        m_hooks.fileFinished(result.stored, result.outcomeName);
    m_shared->remove(client::settings::kArchivedFileData);
    m_shared->setString(client::settings::kDataFileSended, "0");
    m_shared->synchronize();
    // The console paces its sending on this answer: every piece gets it, written or not.
    if (m_hooks.acknowledge)
        m_hooks.acknowledge();
}

} // namespace transfer
