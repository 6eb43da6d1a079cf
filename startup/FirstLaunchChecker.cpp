#include "startup/FirstLaunchChecker.h"

#include "platform/Log.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace startup {
namespace {

constexpr mode_t kStatusFileMode = 0644;
constexpr const char* kTempSuffix = ".XXXXXX";

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::optional<std::string> readRegularFile(const std::string& path) {
    // O_NOFOLLOW: a link planted at the path is refused rather than read through; O_NONBLOCK keeps
    // a FIFO there from blocking start-up.
    Fd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uint64_t>(st.st_size) > FirstLaunchChecker::kMaxStatusFileBytes)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (text.size() + static_cast<std::size_t>(n) > FirstLaunchChecker::kMaxStatusFileBytes)
            return std::nullopt;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes a temporary file beside path (created exclusively, so no link is followed) and renames it
// over path: readers see the old file or the whole new one, and a link at path is replaced, not
// written through.
bool writeAtomically(const std::string& path, const std::string& text) {
    std::string pattern = path + kTempSuffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Fd fd(mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    const bool written =
        writeAll(fd.get(), text) && fchmod(fd.get(), kStatusFileMode) == 0 && fsync(fd.get()) == 0;
    const bool closed = close(fd.release()) == 0;
    if (!written || !closed || rename(name.data(), path.c_str()) != 0) {
        unlink(name.data());
        return false;
    }
    return true;
}

std::size_t skipSpace(const std::string& text, std::size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
        ++at;
    return at;
}

} // namespace

std::string FirstLaunchChecker::statusDocument() {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<plist version=\"1.0\">\n"
                       "<dict>\n"
                       "\t<key>") +
           kHasLaunchedBeforeKey +
           "</key>\n"
           "\t<true/>\n"
           "</dict>\n"
           "</plist>\n";
}

bool FirstLaunchChecker::readsAsDictionary(const std::string& text) {
    const std::size_t plist = text.find("<plist");
    if (plist == std::string::npos)
        return false;
    const std::size_t openEnd = text.find('>', plist);
    if (openEnd == std::string::npos)
        return false;
    const std::size_t root = skipSpace(text, openEnd + 1);
    if (text.compare(root, 6, "<dict>") != 0 && text.compare(root, 7, "<dict/>") != 0)
        return false;
    const std::size_t close = text.rfind("</plist>");
    return close != std::string::npos && close > root;
}

bool FirstLaunchChecker::isFirstLaunchAt(const std::string& path) {
    if (auto text = readRegularFile(path); text && readsAsDictionary(*text))
        return false;
    if (writeAtomically(path, statusDocument()))
        platform::logf("✅ First launch status written to plist.");
    else
        platform::logf("⚠️ Failed to write launch status plist.");
    return true;
}

} // namespace startup
