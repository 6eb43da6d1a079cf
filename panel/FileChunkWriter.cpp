#include "panel/FileChunkWriter.h"

#include "panel/TransferNames.h"
#include "platform/Log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace panel {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
// Numbered names tried before the file counts as not storable.
constexpr int kMaxNumberedNames = 10000;
// O_NONBLOCK: opening a planted FIFO must fail at once instead of waiting for a reader.
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens (making it when missing) the folder name inside parent, never through a link.
int openSubfolder(int parent, const char* name) {
    if (mkdirat(parent, name, kFolderMode) != 0 && errno != EEXIST)
        return -1;
    return openat(parent, name, kFolderFlags);
}

bool isRegularEntry(int folder, const std::string& name) {
    struct stat st {};
    return fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

} // namespace

FileChunkWriter::~FileChunkWriter() {
    if (m_state == State::Open)
        failFile();
    closeFile();
}

std::string FileChunkWriter::temporaryName(const std::string& finalName) {
    const std::size_t affixes = std::strlen(kTemporaryPrefix) + std::strlen(kTemporarySuffix);
    return kTemporaryPrefix +
           transfernames::cutAtCharacter(finalName, transfernames::kMaxNameBytes - affixes) +
           kTemporarySuffix;
}

bool FileChunkWriter::belongsToFile(const Piece& piece) const {
    return piece.fileName == m_strWireName && piece.totalSplitCnt == m_nTotal;
}

FileChunkWriter::Result FileChunkWriter::writePiece(const Piece& piece, const std::string& transferFolder,
                                                    const Date& today, bool overwrite) {
    Result result;
    result.closing = piece.splitSeq == piece.totalSplitCnt;
    if (piece.splitSeq == 0) {
        if (m_state == State::Open) {
            platform::logf("[ZQ]%s abandoned at piece %lld of %d: a new file starts", m_strFileName.c_str(),
                           static_cast<long long>(m_nNextSeq), m_nTotal);
            failFile();
            result.newlyFailed = true;
        }
        closeFile();
        m_strWireName = piece.fileName;
        m_nTotal = piece.totalSplitCnt;
        m_nNextSeq = 0;
        m_bOverwrite = overwrite;
        m_state = State::Open;
        if (!startFile(piece, transferFolder, today)) {
            failFile();
            result.newlyFailed = true;
        }
    } else if (m_state == State::Idle || !belongsToFile(piece) || piece.splitSeq != m_nNextSeq) {
        if (m_state == State::Idle && piece.size == 0 && piece.fileName == m_strLastWireName &&
            piece.totalSplitCnt == m_nLastTotal && piece.splitSeq == m_nLastNextSeq) {
            // A file of no pieces ends at its piece 0; the sender's closing piece after it adds nothing.
            ++m_nLastNextSeq;
            return result;
        }
        platform::logf("[ZQ]File piece %d of %d (%s) out of sequence; dropped", piece.splitSeq,
                       piece.totalSplitCnt, transfernames::sanitizeReceivedName(piece.fileName).c_str());
        if (m_state == State::Open) {
            failFile();
            result.newlyFailed = true;
        } else if (m_state == State::Idle && result.closing) {
            // The end of a file whose start never arrived: the student hears of it once.
            result.newlyFailed = true;
        }
        result.failed = true;
        return result;
    }
    ++m_nNextSeq;
    if (m_state == State::Failed) {
        // The rest of a failed file: acknowledged by the caller, dropped here.
        result.failed = true;
        return result;
    }
    if (piece.size > 0 && !writeAll(piece.data, piece.size)) {
        failFile();
        result.newlyFailed = true;
        result.failed = true;
        return result;
    }
    if (result.closing) {
        if (!storeFile()) {
            failFile();
            result.newlyFailed = true;
            result.failed = true;
            return result;
        }
        result.stored = true;
        m_strLastWireName = m_strWireName;
        m_nLastTotal = m_nTotal;
        m_nLastNextSeq = m_nNextSeq;
        m_state = State::Idle;
        closeFile();
    }
    return result;
}

FileChunkWriter::Result FileChunkWriter::pieceLost() {
    Result result;
    result.failed = true;
    if (m_state == State::Open) {
        platform::logf("[ZQ]A piece of %s was lost; the file is incomplete", m_strFileName.c_str());
        failFile();
        result.newlyFailed = true;
    }
    return result;
}

bool FileChunkWriter::startFile(const Piece& piece, const std::string& transferFolder, const Date& today) {
    m_strFileName = transfernames::sanitizeReceivedName(piece.fileName);
    m_strTempName = temporaryName(m_strFileName);
    m_strFolderPath = transferFolder + "/" + kDownloadFolder + "/" +
                      transfernames::datedFolderName(today.year, today.month, today.day);
    m_strFilePath = m_strFolderPath + "/" + m_strFileName;
    return openFolders(transferFolder, today) && createTemporary();
}

bool FileChunkWriter::openFolders(const std::string& transferFolder, const Date& today) {
    // The transfer folder itself is the student's own (it may be a link); below it nothing is followed.
    std::error_code error;
    std::filesystem::create_directories(transferFolder, error);
    const int root = open(transferFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        platform::logf("[ZQ]Transfer folder %s unusable: %s", transferFolder.c_str(), std::strerror(errno));
        return false;
    }
    const int download = openSubfolder(root, kDownloadFolder);
    const int downloadError = errno;
    close(root);
    if (download < 0) {
        platform::logf("[ZQ]%s/%s is not a folder: %s", transferFolder.c_str(), kDownloadFolder,
                       std::strerror(downloadError));
        return false;
    }
    const std::string dated = transfernames::datedFolderName(today.year, today.month, today.day);
    m_folderFd = openSubfolder(download, dated.c_str());
    const int datedError = errno;
    close(download);
    if (m_folderFd < 0) {
        platform::logf("[ZQ]%s is not a folder: %s", m_strFolderPath.c_str(), std::strerror(datedError));
        return false;
    }
    return true;
}

bool FileChunkWriter::createTemporary() {
    // A temporary of this name left by an earlier run is an incomplete file of ours; a link or a
    // FIFO planted there is only unlinked, never followed.
    if (unlinkat(m_folderFd, m_strTempName.c_str(), 0) != 0 && errno != ENOENT && errno != EISDIR)
        platform::logf("[ZQ]Could not clear %s/%s: %s", m_strFolderPath.c_str(), m_strTempName.c_str(),
                       std::strerror(errno));
    m_fileFd = openat(m_folderFd, m_strTempName.c_str(), kNewFileFlags, kFileMode);
    if (m_fileFd < 0) {
        platform::logf("[ZQ]Could not create %s/%s: %s", m_strFolderPath.c_str(), m_strTempName.c_str(),
                       std::strerror(errno));
        return false;
    }
    return true;
}

bool FileChunkWriter::writeAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(m_fileFd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            platform::logf("[ZQ]Could not write %s: %s", m_strFilePath.c_str(),
                           written < 0 ? std::strerror(errno) : "nothing written");
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool FileChunkWriter::renameNoReplace(const std::string& to) {
    if (renameat2(m_folderFd, m_strTempName.c_str(), m_folderFd, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link is just as exclusive.
    if (linkat(m_folderFd, m_strTempName.c_str(), m_folderFd, to.c_str(), 0) != 0)
        return false;
    unlinkat(m_folderFd, m_strTempName.c_str(), 0);
    return true;
}

bool FileChunkWriter::storeFile() {
    if (close(m_fileFd) != 0) {
        m_fileFd = -1;
        platform::logf("[ZQ]Could not finish %s: %s", m_strFilePath.c_str(), std::strerror(errno));
        return false;
    }
    m_fileFd = -1;
    const std::string name = m_strFileName;
    // Overwriting replaces a plain file only; a link or a folder of the name is left alone and the
    // file takes a numbered name beside it.
    if (m_bOverwrite && isRegularEntry(m_folderFd, name) &&
        renameat(m_folderFd, m_strTempName.c_str(), m_folderFd, name.c_str()) == 0)
        return true;
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = n == 0 ? name : transfernames::numberedName(name, n);
        if (renameNoReplace(candidate)) {
            m_strFileName = candidate;
            m_strFilePath = m_strFolderPath + "/" + candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    platform::logf("[ZQ]Could not store %s: %s", m_strFilePath.c_str(), std::strerror(errno));
    return false;
}

void FileChunkWriter::failFile() {
    m_state = State::Failed;
    if (m_fileFd >= 0) {
        close(m_fileFd);
        m_fileFd = -1;
    }
    if (m_folderFd >= 0 && !m_strTempName.empty())
        unlinkat(m_folderFd, m_strTempName.c_str(), 0);
    closeFile();
}

void FileChunkWriter::closeFile() {
    if (m_fileFd >= 0)
        close(m_fileFd);
    m_fileFd = -1;
    if (m_folderFd >= 0)
        close(m_folderFd);
    m_folderFd = -1;
}

} // namespace panel
