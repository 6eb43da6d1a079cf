#include "transfer/FileChunkWriter.h"

#include "platform/Log.h"
#include "transfer/TransferNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace transfer {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
// Numbered names tried before the file counts as not storable.
constexpr int kMaxNumberedNames = 10000;
// O_NONBLOCK: opening a planted FIFO must fail at once instead of waiting for a reader.
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Without O_EXCL: an unnamed file made with it could never be linked into the folder.
constexpr int kUnnamedFileFlags = O_TMPFILE | O_WRONLY | O_CLOEXEC;
// Random hidden names tried before the file counts as not storable.
constexpr int kMaxHiddenNames = 16;
constexpr int kBitsPerHexDigit = 4;
constexpr std::uint64_t kHexDigitMask = (1u << kBitsPerHexDigit) - 1;
// A peer can repeat each of these lines without end (pieces in any order, files restarted, a folder
// that cannot be made): each kind reaches the log a few times a second at most.
constexpr int kPeerLinesPerSecond = 3;

struct WriterLogs {
    platform::LogRateLimit outOfSequence{kPeerLinesPerSecond};
    platform::LogRateLimit endWithoutStart{kPeerLinesPerSecond};
    platform::LogRateLimit abandoned{kPeerLinesPerSecond};
    platform::LogRateLimit lost{kPeerLinesPerSecond};
    platform::LogRateLimit storage{kPeerLinesPerSecond};
};

WriterLogs& logs() {
    static WriterLogs writerLogs;
    return writerLogs;
}

std::string randomToken() {
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t value = 0;
    {
        std::lock_guard lock(mutex);
        value = generator();
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token(FileChunkWriter::kTemporaryTokenDigits, '0');
    for (char& digit : token) {
        digit = kHex[value & kHexDigitMask];
        value >>= kBitsPerHexDigit;
    }
    return token;
}

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

FileChunkWriter::FileChunkWriter(Temporaries temporaries) : m_temporaries(temporaries) {}

FileChunkWriter::~FileChunkWriter() {
    if (m_state == State::Open)
        failFile();
    closeFile();
}

std::string FileChunkWriter::temporaryName(const std::string& finalName, const std::string& token) {
    const std::size_t affixes =
        std::strlen(kTemporaryPrefix) + 1 + token.size() + std::strlen(kTemporarySuffix);
    return kTemporaryPrefix +
           transfernames::cutAtCharacter(finalName, transfernames::kMaxNameBytes - affixes) + "." + token +
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
            logs().abandoned.logf("[ZQ]%s abandoned at piece %lld of %d: a new file starts",
                                  m_strFileName.c_str(), static_cast<long long>(m_nNextSeq), m_nTotal);
            failFile();
            result.newlyFailed = true;
            result.outcomeName = m_strFileName;
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
            result.outcomeName = m_strFileName;
        }
    } else if (m_state == State::Idle || !belongsToFile(piece) || piece.splitSeq != m_nNextSeq) {
        if (m_state == State::Idle && piece.size == 0 && piece.fileName == m_strLastWireName &&
            piece.totalSplitCnt == m_nLastTotal && piece.splitSeq == m_nLastNextSeq) {
            // A file of no pieces ends at its piece 0; the sender's closing piece after it adds nothing.
            ++m_nLastNextSeq;
            return result;
        }
        result.failed = true;
        if (m_state == State::Idle && result.closing) {
            // The end of a file whose start never arrived: nothing the student was told of failed.
            logs().endWithoutStart.logf("[ZQ]Closing piece %d of %s without its file; dropped",
                                        piece.splitSeq,
                                        transfernames::sanitizeReceivedName(piece.fileName).c_str());
            return result;
        }
        logs().outOfSequence.logf("[ZQ]File piece %d of %d (%s) out of sequence; dropped", piece.splitSeq,
                                  piece.totalSplitCnt,
                                  transfernames::sanitizeReceivedName(piece.fileName).c_str());
        if (m_state == State::Open) {
            failFile();
            result.newlyFailed = true;
            result.outcomeName = m_strFileName;
        }
        return result;
    }
    ++m_nNextSeq;
    if (m_state == State::Failed) {
        // The rest of a failed file: acknowledged by the caller, dropped here.
        result.failed = true;
        return result;
    }
    if ((piece.size > 0 && !writeAll(piece.data, piece.size)) || (result.closing && !storeFile())) {
        failFile();
        result.newlyFailed = true;
        result.outcomeName = m_strFileName;
        result.failed = true;
        return result;
    }
    if (result.closing) {
        result.stored = true;
        result.outcomeName = m_strFileName;
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
        logs().lost.logf("[ZQ]A piece of %s was lost; the file is incomplete", m_strFileName.c_str());
        failFile();
        result.newlyFailed = true;
        result.outcomeName = m_strFileName;
    }
    return result;
}

bool FileChunkWriter::startFile(const Piece& piece, const std::string& transferFolder, const Date& today) {
    m_strFileName = transfernames::sanitizeReceivedName(piece.fileName);
    m_strTempName.clear();
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
        logs().storage.logf("[ZQ]Transfer folder %s unusable: %s", transferFolder.c_str(),
                            std::strerror(errno));
        return false;
    }
    const int download = openSubfolder(root, kDownloadFolder);
    const int downloadError = errno;
    close(root);
    if (download < 0) {
        logs().storage.logf("[ZQ]%s/%s is not a folder: %s", transferFolder.c_str(), kDownloadFolder,
                            std::strerror(downloadError));
        return false;
    }
    const std::string dated = transfernames::datedFolderName(today.year, today.month, today.day);
    m_folderFd = openSubfolder(download, dated.c_str());
    const int datedError = errno;
    close(download);
    if (m_folderFd < 0) {
        logs().storage.logf("[ZQ]%s is not a folder: %s", m_strFolderPath.c_str(), std::strerror(datedError));
        return false;
    }
    return true;
}

bool FileChunkWriter::createTemporary() {
    m_tempDevice = 0;
    m_tempInode = 0;
    // An unnamed file has no name to collide with, and the kernel frees it when the writer lets go.
    if (m_temporaries == Temporaries::Unnamed) {
        m_fileFd = openat(m_folderFd, ".", kUnnamedFileFlags, kFileMode);
        if (m_fileFd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOSYS) {
            logs().storage.logf("[ZQ]Could not create a file in %s: %s", m_strFolderPath.c_str(),
                                std::strerror(errno));
            return false;
        }
    }
    // File systems without unnamed files (network and FAT ones, old kernels) get a hidden one.
    if (m_fileFd < 0 && !createHiddenTemporary())
        return false;
    struct stat st {};
    if (fstat(m_fileFd, &st) != 0) {
        logs().storage.logf("[ZQ]Could not read back %s: %s", m_strFilePath.c_str(), std::strerror(errno));
        return false;
    }
    m_tempDevice = st.st_dev;
    m_tempInode = st.st_ino;
    return true;
}

bool FileChunkWriter::createHiddenTemporary() {
    for (int attempt = 0; attempt < kMaxHiddenNames; ++attempt) {
        const std::string name = temporaryName(m_strFileName, randomToken());
        m_fileFd = openat(m_folderFd, name.c_str(), kNewFileFlags, kFileMode);
        if (m_fileFd >= 0) {
            m_strTempName = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    logs().storage.logf("[ZQ]Could not create a file for %s: %s", m_strFilePath.c_str(),
                        std::strerror(errno));
    return false;
}

bool FileChunkWriter::linkOpenFile(const std::string& to) {
    // The descriptor's /proc entry links without privileges; the descriptor itself (AT_EMPTY_PATH)
    // only with a capability the agent normally lacks, so that is tried where /proc is missing.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fileFd);
    if (linkat(AT_FDCWD, self.c_str(), m_folderFd, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        return false;
    return linkat(m_fileFd, "", m_folderFd, to.c_str(), AT_EMPTY_PATH) == 0;
}

bool FileChunkWriter::nameUnnamedTemporary() {
    for (int attempt = 0; attempt < kMaxHiddenNames; ++attempt) {
        const std::string name = temporaryName(m_strFileName, randomToken());
        if (linkOpenFile(name)) {
            m_strTempName = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return false;
}

bool FileChunkWriter::writeAll(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(m_fileFd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            logs().storage.logf("[ZQ]Could not write %s: %s", m_strFilePath.c_str(),
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
    removeOwnEntry(m_strTempName);
    return true;
}

bool FileChunkWriter::storeFile() {
    // The file takes a hidden name first, so that it is closed (and a late write error seen) before
    // it replaces anything.
    if (m_strTempName.empty() && !nameUnnamedTemporary()) {
        logs().storage.logf("[ZQ]Could not name %s: %s", m_strFilePath.c_str(), std::strerror(errno));
        return false;
    }
    if (close(m_fileFd) != 0) {
        m_fileFd = -1;
        logs().storage.logf("[ZQ]Could not finish %s: %s", m_strFilePath.c_str(), std::strerror(errno));
        return false;
    }
    m_fileFd = -1;
    const std::string name = m_strFileName;
    // Overwriting replaces a plain file only; a link or a folder of the name is left alone and the
    // file takes a numbered name beside it.
    if (m_bOverwrite && isRegularEntry(m_folderFd, name) &&
        renameat(m_folderFd, m_strTempName.c_str(), m_folderFd, name.c_str()) == 0) {
        m_strTempName.clear();
        return true;
    }
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = n == 0 ? name : transfernames::numberedName(name, n);
        if (renameNoReplace(candidate)) {
            m_strTempName.clear();
            m_strFileName = candidate;
            m_strFilePath = m_strFolderPath + "/" + candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    logs().storage.logf("[ZQ]Could not store %s: %s", m_strFilePath.c_str(), std::strerror(errno));
    return false;
}

void FileChunkWriter::removeOwnEntry(const std::string& name) {
    struct stat st {};
    if (m_folderFd < 0 || name.empty() || fstatat(m_folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (st.st_dev == m_tempDevice && st.st_ino == m_tempInode)
        unlinkat(m_folderFd, name.c_str(), 0);
}

void FileChunkWriter::failFile() {
    m_state = State::Failed;
    if (m_fileFd >= 0) {
        close(m_fileFd);
        m_fileFd = -1;
    }
    // An unnamed file is gone with its descriptor; a hidden one goes while it is still ours.
    removeOwnEntry(m_strTempName);
    m_strTempName.clear();
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

} // namespace transfer
