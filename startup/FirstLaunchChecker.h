// Whether this is the first start since the launch-status file was last missing. The file lives in
// the shared temporary folder, so it is opened without following links and replaced atomically:
// another user's link there can neither be read through nor be written through. Main thread.
#pragma once

#include <cstddef>
#include <string>

namespace startup {

class FirstLaunchChecker {
public:
    static constexpr const char* kLaunchStatusPath = "/tmp/launch_status.plist";
    static constexpr const char* kHasLaunchedBeforeKey = "hasLaunchedBefore";
    // A property list of one key is tiny; a larger file is not ours.
    static constexpr std::size_t kMaxStatusFileBytes = 64 * 1024;

    static std::string plistFilePath() { return kLaunchStatusPath; }
    // NO when the file reads as a dictionary; otherwise writes it anew and answers YES.
    static bool isFirstLaunch() { return isFirstLaunchAt(kLaunchStatusPath); }
    static bool isFirstLaunchAt(const std::string& path);

    // The file's contents: {"hasLaunchedBefore": YES} as an XML property list.
    static std::string statusDocument();
    // Whether text is a property list whose root is a dictionary.
    static bool readsAsDictionary(const std::string& text);
};

} // namespace startup
