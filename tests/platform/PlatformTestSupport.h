// Helpers for the platform tests: a private temporary folder, a log capture and the count of faults
// that rate-limited lines stand for. Test thread only.
#pragma once

#include "platform/Log.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace platform::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "olvex-platform-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Collects every logged line while it lives; restores syslog afterwards.
class LogCapture {
public:
    LogCapture() {
        setLogSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    ~LogCapture() { setLogSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool contains(const std::string& fragment) const {
        for (const auto& line : lines()) {
            if (line.find(fragment) != std::string::npos)
                return true;
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Faults the lines holding fragment stand for: each line itself, and the lines it says a rate
// limit held back before it.
inline std::uint64_t faultsLogged(const std::vector<std::string>& lines, const std::string& fragment) {
    static const std::string kHeldBack = " more like it held back)";
    std::uint64_t faults = 0;
    for (const std::string& line : lines) {
        if (line.find(fragment) == std::string::npos)
            continue;
        ++faults;
        const std::size_t end = line.rfind(kHeldBack);
        if (end == std::string::npos)
            continue;
        const std::size_t start = line.rfind('(', end);
        faults += std::stoull(line.substr(start + 1, end - start - 1));
    }
    return faults;
}

} // namespace platform::testing
