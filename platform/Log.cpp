#include "platform/Log.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <syslog.h>
#include <vector>

namespace platform {
namespace {

constexpr const char* kSyslogIdent = "olvex-student";
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

void openSyslogOnce() {
    static std::once_flag once;
    // LOG_PID because several agents may run on one machine (one per user session).
    std::call_once(once, [] { openlog(kSyslogIdent, LOG_PID, LOG_USER); });
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
    openSyslogOnce();
    syslog(LOG_NOTICE, "%s", line.c_str());
}

void logf(const char* format, ...) {
    char inlineBuffer[kInlineLineBytes];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(inlineBuffer, sizeof inlineBuffer, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(again);
        logLine(std::string("[ZQ]log format error: ") + format);
        return;
    }
    if (static_cast<std::size_t>(needed) < sizeof inlineBuffer) {
        va_end(again);
        logLine(std::string(inlineBuffer, static_cast<std::size_t>(needed)));
        return;
    }
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    va_end(again);
    logLine(std::string(buffer.data(), static_cast<std::size_t>(needed)));
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
