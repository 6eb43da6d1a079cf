// Facts about the running process and the one way it ends. Any thread may call these; terminate()
// runs its hook (or ends the process) on the calling thread.
#pragma once

#include <functional>
#include <string>

namespace platform {

// The running kernel's version as "major.minor.patch" (from uname).
std::string operatingSystemVersion();
// The same from a kernel release text ("6.1.0-18-amd64" -> "6.1.0", "5.10" -> "5.10.0").
std::string operatingSystemVersionFromRelease(const std::string& release);

// Ends the process with status: flushes the log and the settings, then exits at once without
// running static destructors under live threads. Tests replace it with a hook (which returns).
void terminate(int status);
using TerminateHook = std::function<void(int status)>;
void setTerminateHook(TerminateHook hook);

} // namespace platform
