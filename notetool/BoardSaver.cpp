#include "notetool/BoardSaver.h"

#include "platform/LocalTime.h"
#include "platform/Log.h"
#include "streaming/ProportionalScaling.h"

#include <filesystem>
#include <fstream>

namespace notetool {
namespace {

constexpr const char* kJpegSuffix = ".jpg";
constexpr const char* kPartialSuffix = ".partial";

bool writeAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
}

} // namespace

std::string boardFolder(const std::string& documents, const std::tm& when) {
    return documents + "/" + kBoardFolder + "/" + platform::dayText(when);
}

std::string boardBaseName(const std::tm& when) {
    return platform::stampText(when, '_');
}

std::optional<std::string> freeBoardPath(const std::string& folder, const std::string& base) {
    std::error_code ec;
    for (int n = 0; n <= kMaxNameSuffix; ++n) {
        const std::string name = n == 0 ? base : base + "_" + std::to_string(n);
        const std::string path = folder + "/" + name + kJpegSuffix;
        if (!std::filesystem::exists(path, ec) && !ec)
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> saveBoard(const std::string& documents, const std::tm& when,
                                     const streaming::ImageView& picture) {
    const std::string folder = boardFolder(documents, when);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        platform::logf("[ZQ]Board folder %s could not be made.", folder.c_str());
        return std::nullopt;
    }
    streaming::JpegCompressor compressor;
    const auto jpeg = streaming::imageCompressedByFactor(compressor, picture, kBoardJpegFactor);
    if (jpeg.empty()) {
        platform::logf("[ZQ]Board picture could not be compressed.");
        return std::nullopt;
    }
    const auto path = freeBoardPath(folder, boardBaseName(when));
    if (!path) {
        platform::logf("[ZQ]No free board name in %s.", folder.c_str());
        return std::nullopt;
    }
    const std::filesystem::path partial = *path + kPartialSuffix;
    if (!writeAll(partial, jpeg)) {
        std::filesystem::remove(partial, ec);
        platform::logf("[ZQ]Board %s could not be written.", path->c_str());
        return std::nullopt;
    }
    std::filesystem::rename(partial, *path, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        platform::logf("[ZQ]Board %s could not be written.", path->c_str());
        return std::nullopt;
    }
    return path;
}

} // namespace notetool
