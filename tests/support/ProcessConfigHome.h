// A settings home of this test process's own: ctest runs every case as a process of its own, many
// at once, and the settings suite is one file on disk, so cases sharing a folder would read each
// other's values and race on each other's writes. The folder goes with the object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace testsupport {

class ProcessConfigHome {
public:
    // Under base, or under the XDG_CONFIG_HOME the test was started with, or the temp folder.
    explicit ProcessConfigHome(const char* base = nullptr) {
        const char* inherited = std::getenv("XDG_CONFIG_HOME");
        const std::filesystem::path root = base != nullptr ? std::filesystem::path(base)
                                           : inherited != nullptr
                                               ? std::filesystem::path(inherited)
                                               : std::filesystem::temp_directory_path() / "olvex-test-config";
        m_home = root / ("process-" + std::to_string(getpid()));
        setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
    }
    ~ProcessConfigHome() {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    ProcessConfigHome(const ProcessConfigHome&) = delete;
    ProcessConfigHome& operator=(const ProcessConfigHome&) = delete;

private:
    std::filesystem::path m_home;
};

} // namespace testsupport
