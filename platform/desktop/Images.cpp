#include "platform/desktop/Images.h"

#include "platform/LocalizedStrings.h"
#include "platform/Log.h"

#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <mutex>
#include <set>

namespace desktop::images {
namespace {

constexpr std::string_view kPngSuffix = ".png";
constexpr std::string_view kImagesFolder = "/images/";

// Asset names are plain words: no path separators, no parent references.
bool isPlainName(std::string_view name) {
    if (name.empty())
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::string_view baseName(std::string_view name) {
    if (name.size() > kPngSuffix.size() && name.substr(name.size() - kPngSuffix.size()) == kPngSuffix)
        name.remove_suffix(kPngSuffix.size());
    return name;
}

void logMissingOnce(std::string_view name) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> logged;
    std::lock_guard lock(mutex);
    if (logged.insert(std::string(name)).second)
        platform::logf("[ZQ]Image asset %.*s is missing.", static_cast<int>(name.size()), name.data());
}

} // namespace

std::string pathFor(std::string_view name) {
    const std::string_view base = baseName(name);
    if (!isPlainName(base))
        return {};
    const std::string stem = platform::resourcesDirectory() + std::string(kImagesFolder) + std::string(base);
    for (const char* extension : {".svg", ".png"}) {
        const std::string path = stem + extension;
        if (QFileInfo(QString::fromStdString(path)).isFile())
            return path;
    }
    return {};
}

bool exists(std::string_view name) {
    return !pathFor(name).empty();
}

QPixmap named(std::string_view name, QSize size, qreal devicePixelRatio) {
    const std::string path = pathFor(name);
    if (path.empty()) {
        logMissingOnce(name);
        return {};
    }
    const QString file = QString::fromStdString(path);
    if (devicePixelRatio <= 0.0)
        devicePixelRatio = 1.0;
    if (file.endsWith(QLatin1String(".svg"))) {
        QSvgRenderer renderer(file);
        if (!renderer.isValid()) {
            platform::logf("[ZQ]Image asset %s does not parse.", path.c_str());
            return {};
        }
        const QSize points = size.isEmpty() ? renderer.defaultSize() : size;
        QPixmap pixmap(points * devicePixelRatio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        pixmap.setDevicePixelRatio(devicePixelRatio);
        return pixmap;
    }
    QPixmap pixmap(file);
    if (pixmap.isNull())
        platform::logf("[ZQ]Image asset %s does not load.", path.c_str());
    else if (!size.isEmpty())
        pixmap = pixmap.scaled(size * devicePixelRatio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon icon(std::string_view name) {
    const std::string path = pathFor(name);
    if (path.empty()) {
        logMissingOnce(name);
        return {};
    }
    return QIcon(QString::fromStdString(path));
}

} // namespace desktop::images
