#include "platform/UserDefaults.h"

#include "platform/SettingsFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <variant>

namespace platform {
namespace {

using Value = SettingsValue;
using Foreign = SettingsForeign;
using FileContents = SettingsContents;

constexpr std::size_t kDoubleTextPrecision = 17; // enough digits to read the same double back

// One suite's values. Readers and writers take `mutex`; synchronize() also takes `writeMutex` so
// that two threads synchronising at once write in turn, the later with the later values.
struct Store {
    std::string path;
    std::mutex mutex;
    std::mutex writeMutex;
    std::map<std::string, Value> values;
    Foreign foreign;           // entries of the file this version does not read, kept as found
    std::uint64_t changes = 0; // bumped by every change of a key that is stored on disk
    std::uint64_t written = 0; // the value of `changes` that the file holds
};

// The process-wide registry: one store per suite name, and the keys kept out of every file.
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Store>> suites;
    std::set<std::string> memoryOnly;
};

Registry& registry() {
    static Registry r;
    return r;
}

bool isMemoryOnly(const std::string& key) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.memoryOnly.count(key) != 0;
}

std::string_view trimmedNumberText(const std::string& text) {
    std::string_view v(text);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n'))
        v.remove_prefix(1);
    if (!v.empty() && v.front() == '+')
        v.remove_prefix(1);
    return v;
}

// Texts read as numbers the way the system's string values do: the leading number, 0 when there
// is none, clamped at the type's limits.
std::int64_t integerFromText(const std::string& text) {
    const std::string_view v = trimmedNumberText(text);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        return !v.empty() && v.front() == '-' ? std::numeric_limits<std::int64_t>::min()
                                              : std::numeric_limits<std::int64_t>::max();
    return ec == std::errc() ? value : 0;
}

double doubleFromText(const std::string& text) {
    const std::string_view v = trimmedNumberText(text);
    double value = 0.0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    (void)end;
    return ec == std::errc() ? value : 0.0;
}

// "YES", "true", "1", "  +7" are true; "NO", "0", "", "abc" false.
bool boolFromText(const std::string& text) {
    std::string_view v(text);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n'))
        v.remove_prefix(1);
    if (!v.empty() && (v.front() == '+' || v.front() == '-'))
        v.remove_prefix(1);
    while (!v.empty() && v.front() == '0')
        v.remove_prefix(1);
    if (v.empty())
        return false;
    const char c = v.front();
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t integerFromDouble(double d) {
    if (std::isnan(d))
        return 0;
    constexpr double kLimit = 9223372036854775807.0;
    if (d >= kLimit)
        return std::numeric_limits<std::int64_t>::max();
    if (d <= -kLimit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

} // namespace

struct UserDefaults::Impl {
    std::shared_ptr<Store> store;
};

namespace {

std::shared_ptr<Store> loadStore(const std::string& name) {
    auto store = std::make_shared<Store>();
    store->path = settingsPathForSuite(name);
    FileContents contents;
    loadSettingsFile(store->path, contents);
    store->values = std::move(contents.values);
    store->foreign = std::move(contents.foreign);
    return store;
}

// The data under key, or nullptr; the caller holds the store's lock.
Bytes* bytesAt(Store& store, const std::string& key) {
    auto found = store.values.find(key);
    return found == store.values.end() ? nullptr : std::get_if<Bytes>(&found->second);
}

template <typename T>
void setValue(Store& store, const std::string& key, T value) {
    const bool stored = !isMemoryOnly(key);
    std::lock_guard<std::mutex> lock(store.mutex);
    auto found = store.values.find(key);
    // Compared in place: a copy of a large value just to compare it would double its cost.
    if (found != store.values.end()) {
        const T* same = std::get_if<T>(&found->second);
        if (same && *same == value)
            return;
    }
    store.values[key] = std::move(value);
    if (stored) {
        store.foreign.erase(key);
        ++store.changes;
    }
}

} // namespace

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name) {
    auto& r = registry();
    std::shared_ptr<Store> store;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.suites.find(name);
        if (found != r.suites.end())
            store = found->second;
    }
    if (!store) {
        // Loaded outside the registry lock (it reads a file); the first of two racing loads wins.
        auto loaded = loadStore(name);
        std::lock_guard<std::mutex> lock(r.mutex);
        store = r.suites.emplace(name, std::move(loaded)).first->second;
    }
    auto impl = std::make_unique<Impl>();
    impl->store = std::move(store);
    return std::make_shared<UserDefaults>(std::move(impl));
}

void UserDefaults::markMemoryOnly(const std::string& key) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.memoryOnly.insert(key);
}

void UserDefaults::resetForTesting() {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.suites.clear();
}

void UserDefaults::synchronizeAll() {
    std::vector<std::shared_ptr<Store>> stores;
    {
        auto& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& [name, store] : r.suites)
            stores.push_back(store);
    }
    for (auto& store : stores) {
        auto impl = std::make_unique<Impl>();
        impl->store = store;
        UserDefaults(std::move(impl)).synchronize();
    }
}

UserDefaults::UserDefaults(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

UserDefaults::~UserDefaults() = default;

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.values.find(key);
    if (found == s.values.end())
        return std::nullopt;
    const Value& v = found->second;
    if (auto* text = std::get_if<std::string>(&v))
        return *text;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*g", static_cast<int>(kDoubleTextPrecision), *d);
        return std::string(buffer);
    }
    if (auto* b = std::get_if<bool>(&v))
        return std::string(*b ? "1" : "0");
    return std::nullopt;
}

std::optional<std::int64_t> UserDefaults::integer(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.values.find(key);
    if (found == s.values.end())
        return std::nullopt;
    const Value& v = found->second;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (auto* text = std::get_if<std::string>(&v))
        return integerFromText(*text);
    if (auto* d = std::get_if<double>(&v))
        return integerFromDouble(*d);
    if (auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    return std::nullopt;
}

std::optional<double> UserDefaults::number(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.values.find(key);
    if (found == s.values.end())
        return std::nullopt;
    const Value& v = found->second;
    if (auto* d = std::get_if<double>(&v))
        return *d;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (auto* text = std::get_if<std::string>(&v))
        return doubleFromText(*text);
    if (auto* b = std::get_if<bool>(&v))
        return *b ? 1.0 : 0.0;
    return std::nullopt;
}

std::optional<bool> UserDefaults::boolean(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    auto found = s.values.find(key);
    if (found == s.values.end())
        return std::nullopt;
    const Value& v = found->second;
    if (auto* b = std::get_if<bool>(&v))
        return *b;
    if (auto* i = std::get_if<std::int64_t>(&v))
        return *i != 0;
    if (auto* d = std::get_if<double>(&v))
        return *d != 0.0;
    if (auto* text = std::get_if<std::string>(&v))
        return boolFromText(*text);
    return std::nullopt;
}

std::optional<Bytes> UserDefaults::data(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (const Bytes* bytes = bytesAt(s, key))
        return *bytes;
    return std::nullopt;
}

bool UserDefaults::contains(const std::string& key) const {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.values.count(key) != 0;
}

void UserDefaults::setString(const std::string& key, const std::string& value) {
    setValue(*m_impl->store, key, value);
}
void UserDefaults::setInteger(const std::string& key, std::int64_t value) {
    setValue(*m_impl->store, key, value);
}
void UserDefaults::setDouble(const std::string& key, double value) {
    setValue(*m_impl->store, key, value);
}
void UserDefaults::setBool(const std::string& key, bool value) {
    setValue(*m_impl->store, key, value);
}
void UserDefaults::setData(const std::string& key, const Bytes& value) {
    setValue(*m_impl->store, key, value);
}
void UserDefaults::setData(const std::string& key, Bytes&& value) {
    setValue(*m_impl->store, key, std::move(value));
}

std::optional<Bytes> UserDefaults::takeData(const std::string& key) {
    std::optional<Bytes> taken;
    {
        Store& s = *m_impl->store;
        std::lock_guard<std::mutex> lock(s.mutex);
        if (Bytes* bytes = bytesAt(s, key))
            taken = std::move(*bytes);
    }
    if (taken)
        remove(key);
    return taken;
}

void UserDefaults::remove(const std::string& key) {
    const bool stored = !isMemoryOnly(key);
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> lock(s.mutex);
    const bool hadValue = s.values.erase(key) != 0;
    const bool hadForeign = s.foreign.erase(key) != 0;
    const bool had = hadValue || hadForeign;
    if (had && stored)
        ++s.changes;
}

bool UserDefaults::synchronize() {
    Store& s = *m_impl->store;
    std::lock_guard<std::mutex> writing(s.writeMutex);
    FileContents snapshot;
    std::uint64_t snapshotChanges = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.changes == s.written)
            return true;
        snapshotChanges = s.changes;
        for (const auto& [key, value] : s.values) {
            if (!isMemoryOnly(key))
                snapshot.values.emplace(key, value);
        }
        snapshot.foreign = s.foreign;
    }
    if (!saveSettingsFile(s.path, snapshot))
        return false;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.written = snapshotChanges;
    return s.changes == s.written;
}

std::string UserDefaults::filePath() const {
    return m_impl->store->path;
}

} // namespace platform
