// Binary bodies of the test peers. Every parser checks its counts in 64-bit arithmetic against
// the body, and insists that the body ends where its counts say: a sender's stray byte is a fault.
#include "support/PeerBodies.h"

#include <zlib.h>

namespace testsupport {

namespace {

constexpr std::size_t kKeyEntrySize = 14;
constexpr std::size_t kMouseEntrySize = 16;
constexpr std::size_t kCountedHeaderSize = 5; // type byte + entry count
constexpr std::size_t kScreenFormatSize = 13;
constexpr std::size_t kImageHeaderSize = 53;
constexpr std::size_t kImageSeqOffset = 21;
constexpr std::size_t kImageWidthOffset = 37;
constexpr std::size_t kImageHeightOffset = 41;
constexpr std::size_t kImageSizeOffset = 45;
constexpr std::size_t kImageSizeAgainOffset = 49;
constexpr std::size_t kFileNameOffset = 17;
constexpr std::size_t kFileFixedSize = 21;
constexpr std::size_t kCompressionSize = 9;
constexpr std::size_t kH264HeaderSize = 13;
constexpr std::size_t kTilesHeaderSize = 13;
constexpr std::size_t kStrokeHeaderSize = 29;
constexpr std::size_t kStrokeBlendOffset = 17;
constexpr std::size_t kStrokeColorOffset = 21;
constexpr std::size_t kStrokePointSize = 8;

std::int32_t asSigned(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}

bool hasType(const Bytes& body, std::uint8_t type) {
    return !body.empty() && body[0] == type;
}

} // namespace

// ---- Builders ----------------------------------------------------------------------------------

Bytes keyBody(const std::vector<KeyEntry>& entries) {
    Bytes body{kBodyKey};
    body.reserve(kCountedHeaderSize + entries.size() * kKeyEntrySize);
    putU32(body, static_cast<std::uint32_t>(entries.size()));
    for (const KeyEntry& e : entries) {
        putU16(body, static_cast<std::uint16_t>(e.value1));
        putU32(body, e.value2);
        putU32(body, e.value3);
        putU16(body, e.value4);
        putU16(body, 0);
    }
    return body;
}

Bytes mouseBody(const std::vector<MouseEntry>& entries) {
    Bytes body{kBodyMouse};
    putU32(body, static_cast<std::uint32_t>(entries.size()));
    for (const MouseEntry& e : entries) {
        putU16(body, static_cast<std::uint16_t>(e.event));
        putU32(body, e.extra);
        putU32(body, static_cast<std::uint32_t>(e.x));
        putU32(body, static_cast<std::uint32_t>(e.y));
        putU16(body, static_cast<std::uint16_t>(e.wheel));
    }
    return body;
}

std::optional<Bytes> fileBody(std::uint32_t splitCount, std::uint32_t seq, const std::string& nameUtf8,
                              const Bytes& data) {
    const auto units = utf8ToUtf16(nameUtf8);
    if (!units) {
        return std::nullopt;
    }
    // A UTF-8 name never has fewer bytes than UTF-16 units, so the units always fit the field.
    const std::size_t fieldUnits = nameUtf8.size();
    Bytes body{kBodyFile};
    putU32(body, 3);
    putU32(body, splitCount);
    putU32(body, seq);
    putU32(body, static_cast<std::uint32_t>(fieldUnits));
    for (std::size_t i = 0; i < fieldUnits; ++i) {
        putU16(body, i < units->size() ? static_cast<std::uint16_t>((*units)[i]) : 0);
    }
    putU32(body, static_cast<std::uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

Bytes compressionBody(std::uint32_t compThreads) {
    Bytes body{kBodyCompression};
    putU32(body, compThreads);
    putU32(body, compThreads);
    return body;
}

Bytes h264Body(std::uint32_t drawSeq, std::uint32_t extra, const Bytes& data) {
    Bytes body{kBodyH264};
    putU32(body, static_cast<std::uint32_t>(data.size()));
    putU32(body, drawSeq);
    putU32(body, extra);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

Bytes tilesBodyRaw(std::uint32_t rawLen, std::uint32_t zLen, std::uint32_t drawSeq, const Bytes& compressed) {
    Bytes body{kBodyTiles};
    body.reserve(kTilesHeaderSize + compressed.size());
    putU32(body, rawLen);
    putU32(body, zLen);
    putU32(body, drawSeq);
    body.insert(body.end(), compressed.begin(), compressed.end());
    return body;
}

std::optional<Bytes> tilesBody(std::uint32_t drawSeq, const std::vector<std::uint32_t>& blocks,
                               const Bytes& image) {
    Bytes payload;
    putU32(payload, 0);
    putU32(payload, static_cast<std::uint32_t>(blocks.size()));
    for (std::uint32_t block : blocks) {
        putU32(payload, block);
    }
    putU32(payload, static_cast<std::uint32_t>(image.size()));
    payload.insert(payload.end(), image.begin(), image.end());

    uLongf compressedSize = compressBound(static_cast<uLong>(payload.size()));
    Bytes compressed(compressedSize);
    if (compress(compressed.data(), &compressedSize, payload.data(), static_cast<uLong>(payload.size())) !=
        Z_OK) {
        return std::nullopt;
    }
    compressed.resize(compressedSize);
    return tilesBodyRaw(static_cast<std::uint32_t>(payload.size()),
                        static_cast<std::uint32_t>(compressed.size()), drawSeq, compressed);
}

// ---- Parsers -----------------------------------------------------------------------------------

std::optional<ScreenFormat> parseScreenFormat(const Bytes& body) {
    if (!hasType(body, kBodyScreenFormat) || body.size() != kScreenFormatSize) {
        return std::nullopt;
    }
    ScreenFormat format;
    readU32(body, 1, format.width);
    readU32(body, 5, format.height);
    readU32(body, 9, format.colorBits);
    return format;
}

std::optional<ScreenImage> parseScreenImage(const Bytes& body) {
    if (!hasType(body, kBodyImage) || body.size() < kImageHeaderSize) {
        return std::nullopt;
    }
    ScreenImage image;
    std::uint32_t size = 0;
    std::uint32_t sizeAgain = 0;
    readU32(body, kImageSeqOffset, image.drawSeq);
    readU32(body, kImageWidthOffset, image.width);
    readU32(body, kImageHeightOffset, image.height);
    readU32(body, kImageSizeOffset, size);
    readU32(body, kImageSizeAgainOffset, sizeAgain);
    if (size != sizeAgain || static_cast<std::uint64_t>(size) != body.size() - kImageHeaderSize) {
        return std::nullopt;
    }
    image.zeroFieldsClear = true;
    for (std::size_t i = 1; i < kImageWidthOffset; ++i) {
        const bool isSeq = i >= kImageSeqOffset && i < kImageSeqOffset + 4;
        if (!isSeq && body[i] != 0) {
            image.zeroFieldsClear = false;
        }
    }
    image.image.assign(body.begin() + kImageHeaderSize, body.end());
    return image;
}

std::optional<FilePiece> parseFilePiece(const Bytes& body) {
    if (!hasType(body, kBodyFile)) {
        return std::nullopt;
    }
    FilePiece piece;
    if (!readU32(body, 1, piece.constant) || !readU32(body, 5, piece.splitCount) ||
        !readU32(body, 9, piece.seq) || !readU32(body, 13, piece.nameUnits)) {
        return std::nullopt;
    }
    const std::uint64_t sizeOffset = kFileNameOffset + 2ULL * piece.nameUnits;
    std::uint32_t dataSize = 0;
    if (!readU32(body, sizeOffset, dataSize) ||
        static_cast<std::uint64_t>(kFileFixedSize) + 2ULL * piece.nameUnits + dataSize != body.size()) {
        return std::nullopt;
    }
    std::u16string units;
    for (std::uint64_t i = 0; i < piece.nameUnits; ++i) {
        std::uint16_t unit = 0;
        readU16(body, kFileNameOffset + 2 * i, unit);
        if (unit == 0) {
            break;
        }
        units.push_back(static_cast<char16_t>(unit));
    }
    auto name = utf16ToUtf8(units);
    if (!name) {
        return std::nullopt;
    }
    piece.name = std::move(*name);
    piece.data.assign(body.begin() + static_cast<std::ptrdiff_t>(sizeOffset + 4), body.end());
    return piece;
}

std::optional<std::vector<MouseEntry>> parseMouse(const Bytes& body) {
    std::uint32_t count = 0;
    if (!hasType(body, kBodyMouse) || !readU32(body, 1, count) ||
        kCountedHeaderSize + static_cast<std::uint64_t>(count) * kMouseEntrySize != body.size()) {
        return std::nullopt;
    }
    std::vector<MouseEntry> entries;
    for (std::uint64_t n = 0; n < count; ++n) {
        const std::uint64_t at = kCountedHeaderSize + n * kMouseEntrySize;
        MouseEntry e;
        std::uint16_t event = 0;
        std::uint16_t wheel = 0;
        std::uint32_t x = 0;
        std::uint32_t y = 0;
        readU16(body, at, event);
        readU32(body, at + 2, e.extra);
        readU32(body, at + 6, x);
        readU32(body, at + 10, y);
        readU16(body, at + 14, wheel);
        e.event = static_cast<std::int16_t>(event);
        e.wheel = static_cast<std::int16_t>(wheel);
        e.x = asSigned(x);
        e.y = asSigned(y);
        entries.push_back(e);
    }
    return entries;
}

std::optional<CompressionSetting> parseCompression(const Bytes& body) {
    if (!hasType(body, kBodyCompression) || body.size() != kCompressionSize) {
        return std::nullopt;
    }
    CompressionSetting setting;
    readU32(body, 1, setting.compThreads);
    readU32(body, 5, setting.repeated);
    return setting;
}

std::optional<H264Frame> parseH264(const Bytes& body) {
    std::uint32_t size = 0;
    if (!hasType(body, kBodyH264) || !readU32(body, 1, size) ||
        static_cast<std::uint64_t>(kH264HeaderSize) + size != body.size()) {
        return std::nullopt;
    }
    H264Frame frame;
    readU32(body, 5, frame.drawSeq);
    readU32(body, 9, frame.extra);
    frame.data.assign(body.begin() + kH264HeaderSize, body.end());
    return frame;
}

std::optional<Stroke> parseStroke(const Bytes& body) {
    std::uint32_t count = 0;
    if (!hasType(body, kBodyStroke) || !readU32(body, kStrokeHeaderSize - 4, count) ||
        kStrokeHeaderSize + static_cast<std::uint64_t>(count) * kStrokePointSize != body.size()) {
        return std::nullopt;
    }
    Stroke stroke;
    std::uint32_t v = 0;
    readU32(body, 1, v);
    stroke.slot = asSigned(v);
    readU32(body, 5, v);
    stroke.tool = asSigned(v);
    readU32(body, 9, v);
    stroke.thickness = asSigned(v);
    readU32(body, 13, v);
    stroke.thicknessMode = asSigned(v);
    stroke.blend = body[kStrokeBlendOffset] != 0;
    readU32(body, kStrokeColorOffset, stroke.color);
    for (std::uint64_t n = 0; n < count; ++n) {
        std::uint32_t x = 0;
        std::uint32_t y = 0;
        readU32(body, kStrokeHeaderSize + n * kStrokePointSize, x);
        readU32(body, kStrokeHeaderSize + n * kStrokePointSize + 4, y);
        stroke.points.emplace_back(asSigned(x), asSigned(y));
    }
    return stroke;
}

} // namespace testsupport
