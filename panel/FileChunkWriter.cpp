#include "panel/FileChunkWriter.h"

#include "panel/TransferNames.h"
#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace panel {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
// Numbered names tried before the file counts as not creatable.
constexpr int kMaxNumberedNames = 10000;
// O_NONBLOCK: opening a planted FIFO must fail at once instead of waiting for a reader.
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr int kExistingFileFlags = O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
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
    closeFile();
}

FileChunkWriter::Result FileChunkWriter::writePiece(const Piece& piece, const std::string& transferFolder,
                                                    const Date& today, bool overwrite) {
    Result result;
    result.closing = piece.splitSeq == piece.totalSplitCnt;
    if (piece.splitSeq == 0) {
        closeFile(); // a new piece 0 ends whatever file was current
        m_bActive = true;
        m_bFailed = !startFile(piece, transferFolder, today, overwrite);
        m_nNextSeq = 0;
    }
    if (!m_bActive) {
        platform::logf("[ZQ]File piece %d of %d without its first piece dropped", piece.splitSeq,
                       piece.totalSplitCnt);
        result.failed = true;
        return result;
    }
    if (piece.splitSeq != m_nNextSeq) {
        platform::logf("[ZQ]File piece %d out of sequence (expected %lld) dropped; %s is incomplete",
                       piece.splitSeq, static_cast<long long>(m_nNextSeq), m_strFileName.c_str());
        m_bFailed = true;
    } else {
        ++m_nNextSeq;
        if (!m_bFailed && piece.size > 0 && !writeAll(piece.data, piece.size))
            m_bFailed = true;
    }
    result.failed = m_bFailed;
    if (result.closing) {
        closeFile();
        m_bActive = false;
    }
    return result;
}

bool FileChunkWriter::startFile(const Piece& piece, const std::string& transferFolder, const Date& today,
                                bool overwrite) {
    m_strFileName = transfernames::sanitizeReceivedName(piece.fileName);
    m_strFolderPath = transferFolder + "/" + kDownloadFolder + "/" +
                      transfernames::datedFolderName(today.year, today.month, today.day);
    m_strFilePath = m_strFolderPath + "/" + m_strFileName;
    if (!openFolders(transferFolder, today))
        return false;
    return createFile(m_strFileName, overwrite);
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

bool FileChunkWriter::createFile(const std::string& name, bool overwrite) {
    if (overwrite && isRegularEntry(m_folderFd, name)) {
        m_fileFd = openat(m_folderFd, name.c_str(), kExistingFileFlags);
        if (m_fileFd >= 0)
            return true;
    }
    // Created exclusively: an entry that appears between the look and the creation is never
    // written through; the next number is taken instead.
    m_fileFd = openat(m_folderFd, name.c_str(), kNewFileFlags, kFileMode);
    for (int n = 1; m_fileFd < 0 && errno == EEXIST && n <= kMaxNumberedNames; ++n) {
        const std::string numbered = transfernames::numberedName(name, n);
        m_fileFd = openat(m_folderFd, numbered.c_str(), kNewFileFlags, kFileMode);
        if (m_fileFd >= 0) {
            m_strFileName = numbered;
            m_strFilePath = m_strFolderPath + "/" + numbered;
        }
    }
    if (m_fileFd < 0) {
        platform::logf("[ZQ]Could not create %s: %s", m_strFilePath.c_str(), std::strerror(errno));
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

void FileChunkWriter::closeFile() {
    if (m_fileFd >= 0 && close(m_fileFd) != 0) {
        platform::logf("[ZQ]Could not finish %s: %s", m_strFilePath.c_str(), std::strerror(errno));
        m_bFailed = true;
    }
    m_fileFd = -1;
    if (m_folderFd >= 0)
        close(m_folderFd);
    m_folderFd = -1;
}

} // namespace panel
