#include "platform/LogFile.h"

#include "platform/BaseFolders.h"
#include "platform/LocalTime.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kAppFolder = "olvex-student";
constexpr const char* kFileName = "olvex-student.log";
constexpr const char* kTurnedOverSuffix = ".1";
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// mkdir -p for the folders of path, each made private as the settings folder is.
void makeFoldersOf(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), kFolderMode);
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string timeText() {
    const std::tm local = localNow();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

LogFile::LogFile(std::string path, std::uint64_t maxBytes) : m_path(std::move(path)), m_maxBytes(maxBytes) {}

LogFile::~LogFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LogFile::openFile() {
    makeFoldersOf(m_path);
    // O_NOFOLLOW: a link planted at the log's name must not send the agent's lines elsewhere.
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    if (m_fd < 0)
        return false;
    struct stat info {};
    m_size = ::fstat(m_fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return true;
}

void LogFile::turnOver() {
    ::close(m_fd);
    m_fd = -1;
    std::rename(m_path.c_str(), (m_path + kTurnedOverSuffix).c_str());
}

bool LogFile::write(const std::string& line) {
    if (m_fd < 0 && !openFile())
        return false;
    std::string entry = timeText() + " " + kAppFolder + "[" + std::to_string(::getpid()) + "]: " + line;
    // A line longer than the whole file's limit is cut, or it alone would pass the bound.
    if (entry.size() >= m_maxBytes)
        entry.resize(static_cast<std::size_t>(m_maxBytes) - 1);
    entry.push_back('\n');
    if (m_size + entry.size() > m_maxBytes) {
        turnOver();
        if (!openFile())
            return false;
    }
    if (!writeAll(m_fd, entry))
        return false;
    m_size += entry.size();
    return true;
}

bool systemLogListens(const std::string& socketPath) {
    struct stat info {};
    return ::stat(socketPath.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::string logFilePath() {
    return stateHome() + "/" + kAppFolder + "/" + kFileName;
}

} // namespace platform
