// The application-group settings suite. One shared in-memory store per suite name in the process;
// every UserDefaults object of that name sees the same values at once. Thread-safe.
//
// On disk: a JSON object at $XDG_CONFIG_HOME/olvex-student/<suite>.json (~/.config when unset),
// data values as {"$data": "<base64>"}; directory 0700, file 0600, written atomically. A file that
// does not parse is renamed aside and logged. Memory-only keys never reach the disk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

class UserDefaults {
public:
    static constexpr const char* kSuiteName = "group.olvex.student";

    // An object over the shared store of a suite (every call's object sees the same values);
    // loads the store from disk on first use. Any thread.
    static std::shared_ptr<UserDefaults> suite(const std::string& name = kSuiteName);

    // Keys that carry large transient data between subsystems stay in memory only (in every suite;
    // a value already on disk under such a key leaves the file at the next write).
    static void markMemoryOnly(const std::string& key);

    // Forgets every loaded suite, so the next suite() reloads from disk (tests; a restart).
    static void resetForTesting();

    // Writes every loaded suite that changed (before the process ends).
    static void synchronizeAll();

    // Typed reads answer empty for a missing key. Values convert as the system's settings do:
    // a text read as a number gives its leading number (0 when none, "12" -> 12), a text read as
    // a bool is true when it starts with Y/y/T/t or a non-zero digit ("YES", "true", "1"); numbers
    // and bools read as text give their decimal form; data converts to nothing else.
    std::optional<std::string> string(const std::string& key) const;
    std::optional<std::int64_t> integer(const std::string& key) const;
    std::optional<double> number(const std::string& key) const;
    std::optional<bool> boolean(const std::string& key) const;
    std::optional<Bytes> data(const std::string& key) const;
    bool contains(const std::string& key) const;

    // Convenience forms with the system's defaults for a missing key ("", 0, 0.0, false).
    std::string stringValue(const std::string& key) const { return string(key).value_or(""); }
    std::int64_t integerValue(const std::string& key) const { return integer(key).value_or(0); }
    double doubleValue(const std::string& key) const { return number(key).value_or(0.0); }
    bool boolValue(const std::string& key) const { return boolean(key).value_or(false); }

    void setString(const std::string& key, const std::string& value);
    void setInteger(const std::string& key, std::int64_t value);
    void setDouble(const std::string& key, double value);
    void setBool(const std::string& key, bool value);
    void setData(const std::string& key, const Bytes& value);
    // Takes the bytes over without copying them.
    void setData(const std::string& key, Bytes&& value);
    // The data under key, moved out, and the key removed (empty, and nothing removed, when the key
    // holds no data).
    std::optional<Bytes> takeData(const std::string& key);
    void remove(const std::string& key);

    // Writes the suite to disk when it changed since the last write. True when the disk holds
    // the current values afterwards.
    bool synchronize();

    // The file this suite is stored in.
    std::string filePath() const;

    struct Impl;
    explicit UserDefaults(std::unique_ptr<Impl> impl);
    ~UserDefaults();

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
