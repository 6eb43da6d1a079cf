#include "platform/LocalizedStrings.h"

#include "platform/Log.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

namespace platform {
namespace {

constexpr const char* kStringsFolder = "strings";
constexpr const char* kKoreanTable = "ko";
constexpr const char* kEnglishTable = "en";
constexpr const char* kFallbackLanguage = "en";
// The tables are a few hundred texts; anything past this is not a table of ours.
constexpr std::streamoff kMaxTableBytes = 4 * 1024 * 1024;
// The bundle's place below a prefix, as `cmake --install` lays it out and the build tree mirrors.
constexpr const char* kBundleFolder = "share/olvex-student";
// The executable sits in the prefix's bin/ (the build tree's app/); test programs of the build tree
// sit up to two folders deeper.
constexpr int kMaxFoldersUp = 3;
constexpr const char* kOwnExecutable = "/proc/self/exe";

std::string defaultResourcesDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink(kOwnExecutable, error);
    const std::string found = error ? std::string() : findResourcesDirectory(executable.string());
    if (found.empty())
        logf("[ZQ]No bundle resources (%s) near the executable.", kBundleFolder);
    return found;
}

using Table = std::map<std::string, std::string>;

struct State {
    std::mutex mutex;
    std::string resources = defaultResourcesDirectory();
    std::vector<std::string> languagesOverride;
    std::map<std::string, Table> tables; // by table name, loaded on first use
};

State& state() {
    static State s;
    return s;
}

// "ko_KR.UTF-8" -> "ko-KR", "en_US.ISO-8859-1@euro" -> "en-US", "C"/"POSIX" -> "en".
std::string languageFromLocale(std::string locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return kFallbackLanguage;
    for (char& c : locale) {
        if (c == '_')
            c = '-';
    }
    return locale;
}

Table loadTable(const std::string& path) {
    Table table;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        logf("[ZQ]string table %s is missing", path.c_str());
        return table;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || size > kMaxTableBytes) {
        logf("[ZQ]string table %s is unreadable or too large", path.c_str());
        return table;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const nlohmann::json root = nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded() || !root.is_object()) {
        logf("[ZQ]string table %s is not a JSON object of texts", path.c_str());
        return table;
    }
    for (const auto& [key, value] : root.items()) {
        if (value.is_string())
            table.emplace(key, value.get<std::string>());
        else
            logf("[ZQ]string table %s: key %s is not a text", path.c_str(), key.c_str());
    }
    return table;
}

} // namespace

std::vector<std::string> preferredLanguages() {
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().languagesOverride.empty())
            return state().languagesOverride;
    }
    // The gettext order: LANGUAGE (a colon-separated list), then the first locale variable set.
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string rest = list;
        for (std::size_t start = 0; start <= rest.size();) {
            const std::size_t colon = std::min(rest.find(':', start), rest.size());
            if (colon > start)
                languages.push_back(languageFromLocale(rest.substr(start, colon - start)));
            start = colon + 1;
        }
    }
    if (languages.empty()) {
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            if (const char* value = std::getenv(variable); value && *value) {
                languages.push_back(languageFromLocale(value));
                break;
            }
        }
    }
    if (languages.empty())
        languages.push_back(kFallbackLanguage);
    return languages;
}

std::string firstPreferredLanguage() {
    return preferredLanguages().front();
}

void setPreferredLanguagesForTesting(std::vector<std::string> languages) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().languagesOverride = std::move(languages);
}

std::string findResourcesDirectory(const std::string& executable) {
    std::filesystem::path prefix = std::filesystem::path(executable).parent_path();
    for (int up = 0; up < kMaxFoldersUp && !prefix.empty(); ++up) {
        prefix = prefix.parent_path();
        const std::filesystem::path bundle = prefix / kBundleFolder;
        std::error_code error;
        if (std::filesystem::is_directory(bundle / kStringsFolder, error))
            return bundle.string();
    }
    return {};
}

std::string resourcesDirectory() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().resources;
}

void setResourcesDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().resources = path;
    state().tables.clear();
}

std::string localizedString(const std::string& key) {
    const std::string language = firstPreferredLanguage();
    const std::string tableName = language.rfind("ko", 0) == 0 ? kKoreanTable : kEnglishTable;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        auto found = state().tables.find(tableName);
        if (found == state().tables.end()) {
            const std::string path = state().resources + "/" + kStringsFolder + "/" + tableName + ".json";
            found = state().tables.emplace(tableName, loadTable(path)).first;
        }
        auto text = found->second.find(key);
        if (text != found->second.end())
            return text->second;
    }
    logf("[ZQ]no localized text for key %s", key.c_str());
    return "";
}

} // namespace platform
