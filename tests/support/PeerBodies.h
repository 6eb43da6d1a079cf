// Binary bodies for the test peers: builders for what a console sends (tiles, file pieces, keys,
// mouse, H.264, compression) and parsers for what the agent sends (screen images, file pieces,
// screen format, mouse, strokes, H.264). Independent of transport/; pure functions, any thread.
#pragma once

#include "support/PeerCodec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// ---- Builders (console to agent) ---------------------------------------------------------------

struct KeyEntry {
    std::int16_t value1 = 0;
    std::uint32_t value2 = 0;
    std::uint32_t value3 = 0;
    std::uint16_t value4 = 0;
};
Bytes keyBody(const std::vector<KeyEntry>& entries);

struct MouseEntry {
    std::int16_t event = 0;
    std::uint32_t extra = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int16_t wheel = 0;
};
Bytes mouseBody(const std::vector<MouseEntry>& entries);

// A file piece; the name field holds as many 16-bit units as the name has UTF-8 bytes.
std::optional<Bytes> fileBody(std::uint32_t splitCount, std::uint32_t seq, const std::string& nameUtf8,
                              const Bytes& data);
Bytes compressionBody(std::uint32_t compThreads);
Bytes h264Body(std::uint32_t drawSeq, std::uint32_t extra, const Bytes& data);

// A compressed screen update: the payload (unread word, block count, block indexes, image size,
// image bytes) deflated with zlib. tilesBodyRaw writes the given header words and bytes as they
// are, for malformed-input tests.
std::optional<Bytes> tilesBody(std::uint32_t drawSeq, const std::vector<std::uint32_t>& blocks,
                               const Bytes& image);
Bytes tilesBodyRaw(std::uint32_t rawLen, std::uint32_t zLen, std::uint32_t drawSeq, const Bytes& compressed);

// ---- Parsers (agent to console); nullopt when a count disagrees with the body ------------------

struct ScreenFormat {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t colorBits = 0;
};
std::optional<ScreenFormat> parseScreenFormat(const Bytes& body);

struct ScreenImage {
    std::uint32_t drawSeq = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool zeroFieldsClear = false; // the reserved ranges hold zeros
    Bytes image;
};
std::optional<ScreenImage> parseScreenImage(const Bytes& body);

struct FilePiece {
    std::uint32_t constant = 0; // 3 as sent
    std::uint32_t splitCount = 0;
    std::uint32_t seq = 0;
    std::uint32_t nameUnits = 0;
    std::string name;
    Bytes data;
};
std::optional<FilePiece> parseFilePiece(const Bytes& body);

std::optional<std::vector<MouseEntry>> parseMouse(const Bytes& body);

struct CompressionSetting {
    std::uint32_t compThreads = 0;
    std::uint32_t repeated = 0;
};
std::optional<CompressionSetting> parseCompression(const Bytes& body);

struct H264Frame {
    std::uint32_t drawSeq = 0;
    std::uint32_t extra = 0;
    Bytes data;
};
std::optional<H264Frame> parseH264(const Bytes& body);

struct Stroke {
    std::int32_t slot = 0;
    std::int32_t tool = 0;
    std::int32_t thickness = 0;
    std::int32_t thicknessMode = 0;
    bool blend = false;
    std::uint32_t color = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> points;
};
std::optional<Stroke> parseStroke(const Bytes& body);

} // namespace testsupport
