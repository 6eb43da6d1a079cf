// The settings file as another program, a damaged disk or an attacker may leave it: it is loaded
// at start, read, changed and written back (entries this version does not know are written back as
// found). Every input starts from its file alone; a file kept aside as corrupt is removed after.
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string g_configHome;
std::string g_settingsPath;
bool g_keptAside = false;

void removeConfigHome() {
    std::error_code ignored;
    std::filesystem::remove_all(g_configHome, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/olvex-settings-fuzz-XXXXXX";
        if (mkdtemp(pattern.data())) {
            g_configHome = pattern;
            break;
        }
    }
    setenv("XDG_CONFIG_HOME", g_configHome.c_str(), 1);
    std::atexit(removeConfigHome);
    // The loader logs when it keeps a file aside; only then is there a file to clear away.
    platform::setLogSink([](const std::string& line) {
        if (line.find("kept as") != std::string::npos)
            g_keptAside = true;
    });
    g_settingsPath = platform::UserDefaults::suite()->filePath();
    platform::UserDefaults::resetForTesting();
    std::filesystem::create_directories(std::filesystem::path(g_settingsPath).parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(g_settingsPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    g_keptAside = false;
    platform::UserDefaults::resetForTesting();
    auto suite = platform::UserDefaults::suite();
    for (const char* key : {"iOS-ip", "iOS-slot", "iOS-alias", "iOS-archived-fileData", "a", ""}) {
        (void)suite->string(key);
        (void)suite->integer(key);
        (void)suite->number(key);
        (void)suite->boolean(key);
        (void)suite->data(key);
    }
    suite->setString("iOS-slot", "7");
    // A loaded (or set aside) file never stops the next write, which also writes back every entry
    // this version keeps without reading.
    if (!suite->synchronize() || suite->stringValue("iOS-slot") != "7")
        __builtin_trap();
    if (g_keptAside) {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(g_settingsPath).parent_path(), ignored))
            if (entry.path() != g_settingsPath)
                std::filesystem::remove(entry.path(), ignored);
    }
    return 0;
}
