// The agent's log: the system log (syslog, ident "olvex-student"), written with printf-style
// messages that carry their bracketed tag ("[ZQ]...", "[ZQ_RELAY]...", "[PC00004]...").
// Thread-safe; any thread may log. Tests install a sink to read what was logged.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Writes one formatted line to the log (and to the sink, when one is installed).
void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const std::string& line);

// A sink receives every line instead of syslog; pass an empty function to restore syslog.
using LogSink = std::function<void(const std::string& line)>;
void setLogSink(LogSink sink);

// Flushes what the log buffers; called before the process ends.
void flushLog();

} // namespace platform
