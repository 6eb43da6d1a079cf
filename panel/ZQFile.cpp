#include "panel/ZQFile.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QStandardPaths>
#include <filesystem>
#include <system_error>

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

std::string standardFolder(QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location).toStdString();
}

} // namespace

std::string ZQFile::getDocumentPath() {
    return standardFolder(QStandardPaths::DocumentsLocation);
}

std::string ZQFile::getDesktopPath() {
    return standardFolder(QStandardPaths::DesktopLocation);
}

std::string ZQFile::getTransferPath() {
    const auto suite = platform::UserDefaults::suite();
    const bool desktop = suite && suite->stringValue(kTransferPathKey) == kDesktopChoice;
    return desktop ? getDesktopPath() : getDocumentPath();
}

bool ZQFile::isFile(const std::string& folder, const std::string& name) {
    std::error_code error;
    // symlink_status: a dangling link is still an item at that path.
    return std::filesystem::exists(std::filesystem::symlink_status(joined(folder, name), error));
}

bool ZQFile::NewDir(const std::string& folder, const std::string& name) {
    const std::filesystem::path path = joined(folder, name);
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (std::filesystem::is_directory(path))
        return true;
    platform::logf("[ZQ]Could not create folder %s: %s", path.c_str(), error.message().c_str());
    return false;
}
