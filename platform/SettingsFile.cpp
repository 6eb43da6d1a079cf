#include "platform/SettingsFile.h"

#include "platform/BaseFolders.h"
#include "platform/LocalTime.h"
#include "platform/Log.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kAppConfigFolder = "olvex-student";
constexpr const char* kTempInfix = ".tmp-";
// A settings write takes milliseconds; a temp file this old belongs to no write still running.
constexpr std::time_t kLeftoverTempAgeSeconds = 60;
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
// Settings are a few kilobytes; a file far larger than this is not ours to load into memory.
constexpr std::uint64_t kMaxSettingsFileBytes = 64ull * 1024 * 1024;

// A suite name becomes a file name: anything but letters, digits, '.', '-' and '_' is replaced,
// and a leading dot too, so no name can leave the folder or hide the file.
std::string fileNameForSuite(const std::string& name) {
    std::string out;
    for (char c : name) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
        out.push_back(plain ? c : '_');
    }
    if (out.empty() || out.front() == '.')
        out.insert(out.begin(), '_');
    return out + ".json";
}

// Every change the console asks for ("[MV00009]", "[MV00030]", each file piece) writes the file: on
// a full disk or a folder taken away each write fails, so each kind of failure is held to a few
// lines a second, the next line let through counting those held back.
constexpr int kWriteFailureLinesPerSecond = 3;

struct WriteFailureLogs {
    LogRateLimit create{kWriteFailureLinesPerSecond};
    LogRateLimit restrict {kWriteFailureLinesPerSecond};
    LogRateLimit temp{kWriteFailureLinesPerSecond};
    LogRateLimit write{kWriteFailureLinesPerSecond};
    LogRateLimit replace{kWriteFailureLinesPerSecond};
};

WriteFailureLogs& writeFailureLogs() {
    static WriteFailureLogs logs;
    return logs;
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}
std::string leafOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool makeFolders(const std::string& folder) {
    // Every missing component is created private; our own folder is made private even when it
    // already existed with a wider mode.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) {
            writeFailureLogs().create.logf("[ZQ]settings: cannot create %s: %s", part.c_str(),
                                           std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    if (chmod(folder.c_str(), kFolderMode) != 0) {
        writeFailureLogs().restrict.logf("[ZQ]settings: cannot restrict %s: %s", folder.c_str(),
                                         std::strerror(errno));
        return false;
    }
    return true;
}

// A temp file left by a write that never reached its rename (the process was killed): the real
// file is intact, the leftover is garbage. A young one may be another process's write under way
// (a second agent of the same user, a helper sharing the suite): removing it would make that
// write fail, so only files older than any write takes are removed.
void removeLeftoverTempFiles(const std::string& path) {
    const std::string prefix = leafOf(path) + kTempInfix;
    DIR* dir = opendir(folderOf(path).c_str());
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string leftover = folderOf(path) + "/" + entry->d_name;
        struct stat info {};
        if (lstat(leftover.c_str(), &info) != 0 || now - info.st_mtime < kLeftoverTempAgeSeconds)
            continue;
        logf("[ZQ]settings: removing unfinished write %s", leftover.c_str());
        unlink(leftover.c_str());
    }
    closedir(dir);
}

// Renames a file that cannot be read as settings beside the real name, so it is never lost.
void keepAside(const std::string& path, const char* reason) {
    const std::string stamp = stampText(localNow(), '-');
    std::string aside = path + ".corrupt-" + stamp;
    for (int n = 1; access(aside.c_str(), F_OK) == 0; ++n)
        aside = path + ".corrupt-" + stamp + "-" + std::to_string(n);
    if (rename(path.c_str(), aside.c_str()) == 0)
        logf("[ZQ]settings file %s %s; kept as %s, starting empty", path.c_str(), reason, aside.c_str());
    else
        logf("[ZQ]settings file %s %s and cannot be kept aside (%s); starting empty", path.c_str(), reason,
             std::strerror(errno));
}

bool readWholeFile(int fd, std::string& out) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) > kMaxSettingsFileBytes)
        return false;
    out.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (out.size() + static_cast<std::uint64_t>(n) > kMaxSettingsFileBytes)
            return false;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string settingsPathForSuite(const std::string& name) {
    return configHome() + "/" + kAppConfigFolder + "/" + fileNameForSuite(name);
}

void loadSettingsFile(const std::string& path, SettingsContents& contents) {
    removeLeftoverTempFiles(path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            logf("[ZQ]settings file %s cannot be opened: %s", path.c_str(), std::strerror(errno));
        return;
    }
    std::string text;
    const bool read = readWholeFile(fd, text);
    close(fd);
    if (!read) {
        keepAside(path, "cannot be read or is too large");
        return;
    }
    switch (readSettingsText(text, contents)) {
    case SettingsTextStatus::Read:
        return;
    case SettingsTextStatus::TooDeep:
        keepAside(path, ("nests deeper than " + std::to_string(kMaxSettingsDepth) + " levels").c_str());
        return;
    case SettingsTextStatus::NotAnObject:
        keepAside(path, "does not parse as a JSON object");
        return;
    }
}

bool saveSettingsFile(const std::string& path, const SettingsContents& contents) {
    const std::string text = settingsText(contents);

    const std::string folder = folderOf(path);
    if (!makeFolders(folder))
        return false;
    // Temp file, fsync, rename, fsync of the folder: a crash at any point leaves either the old
    // file or the new one, never a torn one. mkstemp creates the file 0600.
    std::string temp = path + kTempInfix + "XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        writeFailureLogs().temp.logf("[ZQ]settings: cannot create a temp file in %s: %s", folder.c_str(),
                                     std::strerror(errno));
        return false;
    }
    const bool written = fchmod(fd, kFileMode) == 0 && writeAll(fd, text) && fsync(fd) == 0;
    const int writeErrno = errno;
    if (close(fd) != 0 || !written) {
        writeFailureLogs().write.logf("[ZQ]settings: writing %s failed: %s", temp.c_str(),
                                      std::strerror(written ? errno : writeErrno));
        unlink(temp.c_str());
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        writeFailureLogs().replace.logf("[ZQ]settings: cannot replace %s: %s", path.c_str(),
                                        std::strerror(errno));
        unlink(temp.c_str());
        return false;
    }
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

} // namespace platform
