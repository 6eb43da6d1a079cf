#include "platform/Log.h"

#include "platform/LogFile.h"
#include "platform/MainQueue.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <syslog.h>
#include <vector>

namespace platform {
namespace {

constexpr const char* kSyslogIdent = "olvex-student";
constexpr const char* kSyslogSocket = "/dev/log";
// Most lines fit; longer ones are measured and formatted a second time.
constexpr std::size_t kInlineLineBytes = 512;

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

// Shared so that a line being written keeps its sink alive while setLogSink() swaps it.
std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink;
    return sink;
}

// Where lines go without a sink, decided at the first line: the system log when its daemon
// listens, the log file otherwise.
class Destination {
public:
    Destination() {
        if (systemLogListens(kSyslogSocket)) {
            // LOG_PID because several agents may run on one machine (one per user session).
            openlog(kSyslogIdent, LOG_PID, LOG_USER);
        } else {
            m_file = std::make_unique<LogFile>(logFilePath());
        }
    }

    void write(const std::string& line) {
        if (!m_file) {
            syslog(LOG_NOTICE, "%s", line.c_str());
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_file->write(line);
    }

private:
    std::mutex m_mutex;
    std::unique_ptr<LogFile> m_file;
};

Destination& destination() {
    // Never destroyed: threads may still log while the process ends.
    static Destination* const instance = new Destination();
    return *instance;
}

} // namespace

void logLine(const std::string& line) {
    std::shared_ptr<LogSink> sink;
    {
        std::lock_guard<std::mutex> lock(sinkMutex());
        sink = currentSink();
    }
    // The sink runs outside the lock: a sink may itself log or install another sink.
    if (sink && *sink) {
        (*sink)(line);
        return;
    }
    destination().write(line);
}

namespace {

__attribute__((format(printf, 1, 0))) std::string formatLine(const char* format, va_list args) {
    char inlineBuffer[kInlineLineBytes];
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(inlineBuffer, sizeof inlineBuffer, format, args);
    if (needed < 0) {
        va_end(again);
        return std::string("[ZQ]log format error: ") + format;
    }
    if (static_cast<std::size_t>(needed) < sizeof inlineBuffer) {
        va_end(again);
        return std::string(inlineBuffer, static_cast<std::size_t>(needed));
    }
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    va_end(again);
    return std::string(buffer.data(), static_cast<std::size_t>(needed));
}

} // namespace

void logf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = formatLine(format, args);
    va_end(args);
    logLine(line);
}

void LogRateLimit::logf(const char* format, ...) {
    std::uint64_t heldBack = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double now = monotonicNow();
        if (!m_bStarted || now - m_windowStart >= 1.0 || now < m_windowStart) {
            m_bStarted = true;
            m_windowStart = now;
            m_nInWindow = 0;
        }
        if (m_nInWindow >= m_nLinesPerSecond) {
            ++m_nHeldBack;
            return; // not even formatted: a flood costs a lock and a count
        }
        ++m_nInWindow;
        heldBack = m_nHeldBack;
        m_nHeldBack = 0;
    }
    va_list args;
    va_start(args, format);
    std::string line = formatLine(format, args);
    va_end(args);
    if (heldBack > 0)
        line += " (" + std::to_string(heldBack) + " more like it held back)";
    logLine(line);
}

void setLogSink(LogSink sink) {
    auto next = sink ? std::make_shared<LogSink>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(sinkMutex());
    currentSink() = std::move(next);
}

void flushLog() {
    // syslog() hands each line to the daemon's socket as it is written; only stdio buffers (where
    // the text conversions print their failures) can still hold text.
    std::fflush(stdout);
    std::fflush(stderr);
}

} // namespace platform
