// Builders shared by the viewer suites: solid-colour strips as JPEG or PNG bytes, archived screen
// updates, and reading a canvas pixel.
#pragma once

#include "client/ArchivedRecords.h"
#include "streaming/JpegCompressor.h"
#include "streaming/PlainImage.h"

#include <QBuffer>
#include <QImage>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace viewertest {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// A strip of tiles side by side, tile i painted colours[i].
inline streaming::PlainImage stripImage(const std::vector<Rgb>& colours, int tileWidth, int tileHeight) {
    streaming::PlainImage image(static_cast<int>(colours.size()) * tileWidth, tileHeight);
    for (int y = 0; y < tileHeight; ++y) {
        std::uint8_t* p = image.row(y);
        for (int x = 0; x < image.width(); ++x, p += streaming::kBytesPerPixel) {
            const Rgb& c = colours[static_cast<std::size_t>(x / tileWidth)];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 0xFF;
        }
    }
    return image;
}

inline std::vector<std::uint8_t> jpegStrip(const std::vector<Rgb>& colours, int tileWidth, int tileHeight) {
    streaming::JpegCompressor compressor;
    return compressor.compress(stripImage(colours, tileWidth, tileHeight).view(), 95);
}

inline std::vector<std::uint8_t> pngStrip(const std::vector<Rgb>& colours, int tileWidth, int tileHeight) {
    const streaming::PlainImage image = stripImage(colours, tileWidth, tileHeight);
    QImage q(image.data(), image.width(), image.height(), static_cast<qsizetype>(image.stride()),
             QImage::Format_RGB32);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    q.save(&buffer, "PNG");
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

inline platform::Bytes updateArchive(const std::vector<std::uint8_t>& bitmap,
                                     const std::vector<std::uint32_t>& tiles, int seq = 1) {
    client::ImageSample sample;
    sample.bitmap(bitmap.empty() ? nullptr : bitmap.data(), static_cast<std::int32_t>(bitmap.size()),
                  static_cast<std::int32_t>(tiles.size()), tiles.empty() ? nullptr : tiles.data(), seq);
    return sample.archive();
}

struct Pixel {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

inline Pixel pixelAt(const streaming::PlainImage& canvas, int x, int y) {
    const std::uint8_t* p = canvas.row(y) + static_cast<std::ptrdiff_t>(x) * streaming::kBytesPerPixel;
    return {p[2], p[1], p[0], p[3]};
}

// JPEG keeps a flat colour within a few levels.
inline bool near(const Pixel& p, const Rgb& c, int tolerance = 8) {
    return p.a == 0xFF && std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance &&
           std::abs(p.b - c.b) <= tolerance;
}

constexpr Rgb kRed{220, 30, 30};
constexpr Rgb kGreen{30, 200, 60};
constexpr Rgb kBlue{20, 40, 210};
constexpr Rgb kYellow{230, 220, 40};

} // namespace viewertest
