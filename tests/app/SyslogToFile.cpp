// Preloaded into the agent by the end-to-end tests: its system-log lines go to the file named by
// OLVEX_E2E_LOG_FILE, so a failing test can show what the agent logged on a machine without a
// syslog daemon. Replaces the C library's syslog entry points, the fortified ones included.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kLogFileVariable = "OLVEX_E2E_LOG_FILE";
constexpr std::size_t kLineBytes = 4096;

std::mutex& fileMutex() {
    static std::mutex m;
    return m;
}

void writeLine(const char* format, va_list args) {
    const char* path = std::getenv(kLogFileVariable);
    if (!path || !*path)
        return;
    char line[kLineBytes];
    const int length = std::vsnprintf(line, sizeof line - 1, format, args);
    if (length < 0)
        return;
    std::size_t size = static_cast<std::size_t>(length) < sizeof line - 1 ? static_cast<std::size_t>(length)
                                                                          : sizeof line - 2;
    line[size++] = '\n';
    std::lock_guard<std::mutex> lock(fileMutex());
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line, size);
    ::close(fd);
}

} // namespace

extern "C" {

void openlog(const char*, int, int) {}
void closelog() {}

void vsyslog(int, const char* format, va_list args) {
    writeLine(format, args);
}

void syslog(int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(format, args);
    va_end(args);
}

void __vsyslog_chk(int, int, const char* format, va_list args) {
    writeLine(format, args);
}

void __syslog_chk(int, int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine(format, args);
    va_end(args);
}

} // extern "C"
