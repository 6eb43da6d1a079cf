#include "panel/TransferNames.h"

#include "client/CommandText.h"
#include "client/StudentSessionInfo.h"
#include "platform/LocalTime.h"

#include <cstdio>

namespace panel::transfernames {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

} // namespace

std::string cutAtCharacter(const std::string& text, std::size_t maxBytes) {
    return std::string(client::cutAtCharacterBoundary(text, maxBytes));
}

std::string sanitizeReceivedName(const std::string& wireName) {
    std::string visible;
    visible.reserve(wireName.size());
    for (char c : wireName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= kFirstPrintable && byte != kDelete)
            visible += c;
    }
    const std::size_t cut = visible.find_last_of("/\\");
    std::string name = cut == std::string::npos ? visible : visible.substr(cut + 1);
    if (name.empty() || name == "." || name == "..")
        return kFallbackName;
    name = cutAtCharacter(name, kMaxNameBytes);
    // A cut can leave only dots behind.
    return name == "." || name == ".." ? std::string(kFallbackName) : name;
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

} // namespace panel::transfernames
