#include "viewer/StripDecoder.h"

#include "platform/Log.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <png.h>
#include <turbojpeg.h>

namespace viewer {

namespace {
constexpr std::uint8_t kJpegMarker = 0xFF;
constexpr std::uint8_t kJpegStart = 0xD8;
// A whole shared screen is decoded up to 30 times a second on the student's machine: the fast
// transform and plain chroma upsampling take a sixth off the decode, at a cost no screen shows.
constexpr int kJpegFlags = TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE;

// Pictures other than JPEG and PNG are read by Qt, but only in the plain raster formats a screen is sent
// in: the bytes come from the network, and the vector and container formats (SVG, TIFF and the
// like) would hand them to far larger parsers for no picture a console sends.
constexpr std::array<const char*, 3> kRasterFormats = {"bmp", "gif", "jpeg"};

bool isRasterFormat(const QByteArray& format) {
    return std::any_of(kRasterFormats.begin(), kRasterFormats.end(),
                       [&format](const char* known) { return format == known; });
}

bool isJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == kJpegMarker && bytes[1] == kJpegStart;
}

constexpr std::size_t kPngSignatureBytes = 8;

bool isPng(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kPngSignatureBytes && png_sig_cmp(bytes.data(), 0, kPngSignatureBytes) == 0;
}

// Every strip is the console's picture, and it may send undecodable ones without end: each kind of
// line about them is held to a few a second, the next line let through counting those held back.
constexpr int kStripLinesPerSecond = 3;

struct StripLogs {
    platform::LogRateLimit noPicture{kStripLinesPerSecond};
    platform::LogRateLimit headerUnreadable{kStripLinesPerSecond};
    platform::LogRateLimit jpegUndecodable{kStripLinesPerSecond};
    platform::LogRateLimit refusedForTiles{kStripLinesPerSecond};
    platform::LogRateLimit format{kStripLinesPerSecond};
    platform::LogRateLimit pictureUndecodable{kStripLinesPerSecond};
};

StripLogs& logs() {
    static StripLogs limits;
    return limits;
}
} // namespace

bool isAcceptableStrip(int width, int height, const StripBounds& bounds) {
    if (width < 1 || height < 1)
        return false;
    if (width > bounds.maxWidth + kStripSlack || height > bounds.maxHeight + kStripSlack)
        return false;
    return static_cast<std::int64_t>(width) * height <= kMaxStripPixels;
}

DecodedStrip::DecodedStrip(int width, int height)
    : m_pixels(std::make_unique_for_overwrite<std::uint8_t[]>(
          static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * streaming::kBytesPerPixel)),
      m_width(width), m_height(height) {}

StripDecoder::StripDecoder() : m_jpeg(tjInitDecompress()) {}

StripDecoder::~StripDecoder() {
    if (m_jpeg != nullptr)
        tjDestroy(static_cast<tjhandle>(m_jpeg));
}

void StripDecoder::renewJpegHandle() {
    if (m_jpeg != nullptr)
        tjDestroy(static_cast<tjhandle>(m_jpeg));
    m_jpeg = tjInitDecompress();
}

DecodedStrip StripDecoder::decode(std::span<const std::uint8_t> bytes, const StripBounds& bounds) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        logs().noPicture.logf("[ZQ]Strip of %zu bytes is no picture", bytes.size());
        return {};
    }
    if (isJpeg(bytes))
        return decodeJpeg(bytes, bounds);
    return isPng(bytes) ? decodePng(bytes, bounds) : decodeOther(bytes, bounds);
}

bool StripDecoder::readJpegHeader(std::span<const std::uint8_t> bytes, int& width, int& height) {
    auto handle = static_cast<tjhandle>(m_jpeg);
    int subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &width, &height,
                            &subsampling, &colorspace) != 0) {
        logs().headerUnreadable.logf("[ZQ]Strip JPEG header unreadable: %s", tjGetErrorStr2(handle));
        // The library leaves a handle whose header read failed failing every header after it, so
        // one such strip from the console would blank every later one.
        renewJpegHandle();
        return false;
    }
    return true;
}

bool StripDecoder::decompressJpeg(std::span<const std::uint8_t> bytes, const PixelRegion& into) {
    auto handle = static_cast<tjhandle>(m_jpeg);
    // A warning (a damaged but readable stream) still leaves a picture worth showing.
    if (tjDecompress2(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), into.data, into.width,
                      static_cast<int>(into.stride), into.height, TJPF_BGRA, kJpegFlags) != 0 &&
        tjGetErrorCode(handle) == TJERR_FATAL) {
        logs().jpegUndecodable.logf("[ZQ]Strip JPEG undecodable: %s", tjGetErrorStr2(handle));
        renewJpegHandle();
        return false;
    }
    return true;
}

StripDecoder::InPlace StripDecoder::decodeInto(std::span<const std::uint8_t> bytes,
                                               const PixelRegion& region) {
    if (m_jpeg == nullptr || !isJpeg(bytes) || bytes.size() > static_cast<std::size_t>(INT_MAX) ||
        region.data == nullptr)
        return InPlace::NotApplicable;
    int width = 0, height = 0;
    if (!readJpegHeader(bytes, width, height))
        return InPlace::Failed;
    if (width != region.width || height != region.height)
        return InPlace::NotApplicable;
    return decompressJpeg(bytes, region) ? InPlace::Decoded : InPlace::Failed;
}

DecodedStrip StripDecoder::decodeJpeg(std::span<const std::uint8_t> bytes, const StripBounds& bounds) {
    if (m_jpeg == nullptr)
        return {};
    int width = 0, height = 0;
    if (!readJpegHeader(bytes, width, height))
        return {};
    if (!isAcceptableStrip(width, height, bounds)) {
        logs().refusedForTiles.logf("[ZQ]Strip %dx%d refused for tiles %lldx%lld", width, height,
                                    static_cast<long long>(bounds.maxWidth),
                                    static_cast<long long>(bounds.maxHeight));
        return {};
    }
    DecodedStrip image(width, height);
    if (!decompressJpeg(bytes, {image.data(), width, height, image.stride()}))
        return {};
    return image;
}

// PNG goes to libpng's simplified reader rather than through Qt: Qt's reader leaves libpng's error
// printer in place, which writes a line to standard error for every broken picture, without limit,
// while this reader hands its complaint back as text for the held-back log.
DecodedStrip StripDecoder::decodePng(std::span<const std::uint8_t> bytes, const StripBounds& bounds) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        logs().pictureUndecodable.logf("[ZQ]Strip picture undecodable: %s", png.message);
        return {};
    }
    const auto width = static_cast<std::int64_t>(png.width);
    const auto height = static_cast<std::int64_t>(png.height);
    if (width > INT_MAX || height > INT_MAX ||
        !isAcceptableStrip(static_cast<int>(width), static_cast<int>(height), bounds)) {
        logs().refusedForTiles.logf("[ZQ]Strip %lldx%lld refused for tiles %lldx%lld",
                                    static_cast<long long>(width), static_cast<long long>(height),
                                    static_cast<long long>(bounds.maxWidth),
                                    static_cast<long long>(bounds.maxHeight));
        png_image_free(&png);
        return {};
    }
    png.format = PNG_FORMAT_BGRA; // the capture layout
    DecodedStrip image(static_cast<int>(width), static_cast<int>(height));
    if (!png_image_finish_read(&png, nullptr, image.data(), static_cast<png_int_32>(image.stride()),
                               nullptr)) {
        logs().pictureUndecodable.logf("[ZQ]Strip picture undecodable: %s", png.message);
        png_image_free(&png);
        return {};
    }
    // Opaque pixels, the alpha dropped as for every other format: the canvas keeps transparency for
    // tiles never received only.
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* pixel = image.row(y);
        for (int x = 0; x < image.width(); ++x, pixel += streaming::kBytesPerPixel)
            pixel[streaming::kBytesPerPixel - 1] = 0xFF;
    }
    return image;
}

DecodedStrip StripDecoder::decodeOther(std::span<const std::uint8_t> bytes, const StripBounds& bounds) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kQtAllocationLimitMegabytes);
    const QByteArray format = reader.format();
    if (!isRasterFormat(format)) {
        logs().format.logf("[ZQ]Strip picture of format \"%s\" refused", format.constData());
        return {};
    }
    reader.setFormat(format);
    reader.setAutoDetectImageFormat(false);
    const QSize header = reader.size();
    if (!header.isValid() || !isAcceptableStrip(header.width(), header.height(), bounds)) {
        logs().refusedForTiles.logf("[ZQ]Strip %dx%d refused for tiles %lldx%lld", header.width(),
                                    header.height(), static_cast<long long>(bounds.maxWidth),
                                    static_cast<long long>(bounds.maxHeight));
        return {};
    }
    QImage decoded;
    if (!reader.read(&decoded) || decoded.size() != header) {
        logs().pictureUndecodable.logf("[ZQ]Strip picture undecodable: %s",
                                       reader.errorString().toUtf8().constData());
        return {};
    }
    // Opaque pixels: the canvas keeps transparency for tiles never received only.
    decoded = decoded.convertToFormat(QImage::Format_RGB32);
    DecodedStrip image(decoded.width(), decoded.height());
    const auto rowBytes = static_cast<std::size_t>(image.stride());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.row(y), decoded.constScanLine(y), rowBytes);
    return image;
}

} // namespace viewer
