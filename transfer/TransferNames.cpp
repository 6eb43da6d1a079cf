#include "transfer/TransferNames.h"

#include "client/CommandText.h"
#include "client/StudentSessionInfo.h"
#include "platform/LocalTime.h"

#include <cstdio>

namespace transfer::transfernames {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr char kReplacement = '_';
// U+202A-U+202E are E2 80 AA-AE in UTF-8, U+2066-U+2069 are E2 81 A6-A9.
constexpr std::size_t kBidiControlBytes = 3;
constexpr unsigned char kBidiLead = 0xE2;
constexpr unsigned char kBidiEmbeddingSecond = 0x80;
constexpr unsigned char kFirstEmbedding = 0xAA;
constexpr unsigned char kLastEmbedding = 0xAE;
constexpr unsigned char kBidiIsolateSecond = 0x81;
constexpr unsigned char kFirstIsolate = 0xA6;
constexpr unsigned char kLastIsolate = 0xA9;

// Length of a bidirectional override or isolate control starting at text[i] (U+202A-U+202E,
// U+2066-U+2069, three bytes in UTF-8), 0 when none starts there: they can make a name read in
// another order than the one it is stored under ("gpj.exe" shown as "exe.jpg").
std::size_t bidiControlAt(const std::string& text, std::size_t i) {
    if (i + 2 >= text.size() || static_cast<unsigned char>(text[i]) != kBidiLead)
        return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    const auto third = static_cast<unsigned char>(text[i + 2]);
    const bool embedding =
        second == kBidiEmbeddingSecond && third >= kFirstEmbedding && third <= kLastEmbedding;
    const bool isolate = second == kBidiIsolateSecond && third >= kFirstIsolate && third <= kLastIsolate;
    return embedding || isolate ? kBidiControlBytes : 0;
}

} // namespace

std::string cutAtCharacter(const std::string& text, std::size_t maxBytes) {
    return std::string(client::cutAtCharacterBoundary(text, maxBytes));
}

std::string sanitizeReceivedName(const std::string& wireName) {
    std::string visible;
    visible.reserve(wireName.size());
    for (std::size_t i = 0; i < wireName.size();) {
        const auto byte = static_cast<unsigned char>(wireName[i]);
        if (const std::size_t bidi = bidiControlAt(wireName, i)) {
            visible += kReplacement;
            i += bidi;
            continue;
        }
        visible += byte < kFirstPrintable || byte == kDelete ? kReplacement : wireName[i];
        ++i;
    }
    const std::size_t cut = visible.find_last_of("/\\");
    std::string name = cut == std::string::npos ? visible : visible.substr(cut + 1);
    if (name.empty() || name == "." || name == "..")
        return kFallbackName;
    name = cutAtCharacter(name, kMaxNameBytes);
    // A cut can leave only dots behind, or nothing at all when a long name holds no character start
    // (bytes that are not UTF-8).
    return name.empty() || name == "." || name == ".." ? std::string(kFallbackName) : name;
}

std::string numberedName(const std::string& name, int n) {
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot + 1 < name.size();
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string suffix = "_" + std::to_string(n) + (hasExtension ? name.substr(dot) : std::string());
    if (suffix.size() >= kMaxNameBytes)
        return cutAtCharacter(stem + suffix, kMaxNameBytes);
    return cutAtCharacter(stem, kMaxNameBytes - suffix.size()) + suffix;
}

std::string datedFolderName(int year, int month, int day) {
    return platform::dayText(year, month, day);
}

std::string lastPathComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::size_t cut = trimmed.rfind('/');
    return cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
}

std::string extensionOf(const std::string& path) {
    const std::string last = lastPathComponent(path);
    const std::size_t dot = last.rfind('.');
    return dot == std::string::npos ? std::string() : last.substr(dot + 1);
}

std::string sentFileName(int slot, const std::string& alias, const std::string& path) {
    const std::string extension = extensionOf(path);
    const std::string dotted = extension.empty() ? std::string() : "." + extension;
    const std::string base =
        dotted.empty() ? lastPathComponent(path) : client::replaceAll(lastPathComponent(path), dotted, "");
    char seat[16];
    std::snprintf(seat, sizeof seat, "%02d", slot);
    return std::string(seat) + "_" + alias + "_" + base + dotted;
}

} // namespace transfer::transfernames
