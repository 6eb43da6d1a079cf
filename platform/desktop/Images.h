// Images of the bundle by asset name: resources/images/<name>.svg (drawn by Qt SVG at the size and
// pixel ratio asked for) or <name>.png. A name may carry a ".png" suffix, as some windows write it.
// Main thread only (Qt pixmaps).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <string>
#include <string_view>

namespace desktop::images {

// The file of an asset, or "" when there is none (or the name is not a plain asset name).
std::string pathFor(std::string_view name);
bool exists(std::string_view name);

// The image at size (points; an empty size takes the image's own) for the given device pixel
// ratio. A missing asset gives a null pixmap and one log line per name.
QPixmap named(std::string_view name, QSize size = QSize(), qreal devicePixelRatio = 1.0);
QIcon icon(std::string_view name);

} // namespace desktop::images
