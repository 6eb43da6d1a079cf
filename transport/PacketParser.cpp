// Body parsers of the receive side. Every count in a body is checked against the bytes present
// before use; a body that does not add up is dropped (record reset to type 0) and the link reads on.
#include "platform/Log.h"
#include "transport/CUtil.h"
#include "transport/PacketCodec.h"
#include "transport/WireBytes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <zlib.h>

namespace transport {
namespace {

static_assert(std::endian::native == std::endian::little, "wire units are copied as host units");

constexpr std::size_t kCodeBytes = 9; // "[MV00050]"
constexpr std::size_t kKeyEntryBytes = 14;
constexpr std::size_t kMouseEntryBytes = 16;
constexpr std::size_t kEnvelopeSkipBytes = 8; // teacher and student connection numbers
constexpr std::size_t kDibPayloadSkipBytes = 4;
// File data and frames from this size on are moved out of the body buffer rather than copied:
// below it a copy costs less than growing the buffer again for the next packet.
constexpr std::size_t kMovedBodyBytes = 1024 * 1024;

// Refusals a peer can repeat without end, one limit each: a flood of one kind neither fills the
// log nor hides the lines of another, and the next line let through counts those held back.
constexpr int kRefusalLinesPerSecond = 3;

platform::LogRateLimit& refusedPieceLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

platform::LogRateLimit& longFileNameLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

platform::LogRateLimit& stripOverGridLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

platform::LogRateLimit& stripOverPixelsLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

platform::LogRateLimit& frameOverSizeLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

// The peer can send malformed bodies without end: their lines share the rate limit of the text
// conversion failures, so a flood never stalls the receive thread on the log.
ParseResult Dropped(SReceiveData& record, int type, const char* why) {
    TextConversionLog().logf("[ZQ]dropped packet of type %d: %s", type, why);
    record = SReceiveData{};
    return ParseResult::kDropped;
}

std::int32_t SignExtend16(std::uint16_t v) {
    return static_cast<std::int16_t>(v);
}

// A text that does not convert: the peer can send these without end, so their lines are limited.
ParseResult Undecodable(SReceiveData& record, int type, const char* what) {
    TextConversionLog().logf("[ZQ]dropped packet of type %d: %s does not convert to UTF-8", type, what);
    record = SReceiveData{};
    return ParseResult::kDropped;
}

// A text or name of more units than the work area holds is not converted at all.
ParseResult OverLimit(SReceiveData& record, int type, const char* what, std::uint64_t units) {
    TextConversionLog().logf("[ZQ]dropped packet of type %d: %s of %llu units is over the limit of %zu", type,
                             what, static_cast<unsigned long long>(units), kMaxTextUnits);
    record = SReceiveData{};
    return ParseResult::kDropped;
}

ParseResult ParseText(wire::Reader& r, SReceiveData& record) {
    std::uint32_t digestUnits = 0;
    std::uint32_t textBytes = 0;
    const std::uint8_t* cipher = nullptr;
    // The digest is carried for the peers' sake; nobody compares it.
    if (!r.u32(digestUnits) || !r.skip(2ull * digestUnits) || !r.u32(textBytes) ||
        !r.bytes(textBytes, cipher))
        return Dropped(record, kBodyTextCommand, "text field runs past the body");
    const std::size_t units = textBytes / 2;
    if (units > kMaxTextUnits)
        return OverLimit(record, kBodyTextCommand, "text", units);
    std::uint16_t work[kTextWorkAreaUnits] = {};
    auto* plain = reinterpret_cast<std::uint8_t*>(work);
    // Whole units only: the odd byte of an odd length is not part of the text.
    if (units > 0)
        std::memcpy(plain, cipher, 2 * units);
    const auto& key = TextKey();
    Rc4Apply(key.data(), key.size(), plain, 2 * units);
    std::string text;
    if (!WireUnitsToUtf8(work, units, text))
        return Undecodable(record, kBodyTextCommand, "text");
    record.nType = kBodyTextCommand;
    // The parameters take the converted text itself, so no second copy of it is made.
    record.strCode = text.substr(0, kCodeBytes);
    text.erase(0, std::min(text.size(), kCodeBytes));
    record.strParams = std::move(text);
    return ParseResult::kParsed;
}

ParseResult ParseKey(wire::Reader& r, SReceiveData& record) {
    std::uint32_t count = 0;
    if (!r.u32(count) || !r.have(static_cast<std::uint64_t>(count) * kKeyEntryBytes))
        return Dropped(record, kBodyKeyInput, "key entry count runs past the body");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t v1 = 0;
        std::uint16_t v4 = 0;
        r.u16(v1);
        r.u32(record.nKeyValue2);
        r.u32(record.nKeyValue3);
        r.u16(v4);
        r.skip(2);
        record.nKeyValue1 = SignExtend16(v1);
        record.nKeyValue4 = v4;
    }
    record.nType = kBodyKeyInput;
    return ParseResult::kParsed;
}

ParseResult ParseMouse(wire::Reader& r, SReceiveData& record) {
    record.nMouseX = record.nMouseY = record.nMouseWheel = record.nMouseEvent = -1;
    record.nMouseExtra = static_cast<std::uint32_t>(-1);
    std::uint32_t count = 0;
    if (!r.u32(count) || !r.have(static_cast<std::uint64_t>(count) * kMouseEntryBytes))
        return Dropped(record, kBodyMouseInput, "mouse entry count runs past the body");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t event = 0;
        std::uint32_t x = 0;
        std::uint32_t y = 0;
        std::uint16_t wheel = 0;
        r.u16(event);
        r.u32(record.nMouseExtra);
        r.u32(x);
        r.u32(y);
        r.u16(wheel);
        record.nMouseEvent = SignExtend16(event);
        record.nMouseX = static_cast<std::int32_t>(x);
        record.nMouseY = static_cast<std::int32_t>(y);
        record.nMouseWheel = SignExtend16(wheel);
    }
    record.nType = kBodyMouseInput;
    return ParseResult::kParsed;
}

// A file chunk whose sequence number was read but whose later fields do not hold: dropped, yet
// marked so that the file-chunk taker still hears of it, because the console sends the next piece
// only once this one is acknowledged.
ParseResult RefusedChunk(SReceiveData& record, const char* why) {
    refusedPieceLog().logf("[ZQ]dropped packet of type %d: file chunk %u of %u refused: %s", kBodyFileChunk,
                           record.nSeq, record.nSplitCnt, why);
    SReceiveData refused;
    refused.bFileRefused = true;
    refused.nSplitCnt = record.nSplitCnt;
    refused.nSeq = record.nSeq;
    record = std::move(refused);
    return ParseResult::kDropped;
}

// Hands bytes of the body (a file chunk's data, an H.264 frame) to the record. Large ones take over
// the body buffer they lie in, moved to its front, so a piece or frame of many megabytes exists
// once instead of twice; the link grows a new body buffer for its next packet.
void TakeBodyBytes(const std::uint8_t* data, std::uint32_t size, std::vector<std::uint8_t>& out,
                   ReceiveBuffers& buffers) {
    std::vector<std::uint8_t>& body = buffers.body;
    const bool inBody = !body.empty() && data >= body.data() && data + size <= body.data() + body.size();
    if (size < kMovedBodyBytes || !inBody) {
        out.assign(data, data + size);
        return;
    }
    const auto offset = static_cast<std::size_t>(data - body.data());
    out = std::move(body);
    body = std::vector<std::uint8_t>();
    std::memmove(out.data(), out.data() + offset, size);
    out.resize(size);
}

ParseResult ParseFile(wire::Reader& r, SReceiveData& record, ReceiveBuffers& buffers) {
    std::uint32_t constant = 0;
    std::uint32_t nameUnits = 0;
    std::uint32_t dataSize = 0;
    const std::uint8_t* name = nullptr;
    const std::uint8_t* data = nullptr;
    if (!r.u32(constant) || !r.u32(record.nSplitCnt) || !r.u32(record.nSeq))
        return Dropped(record, kBodyFileChunk, "file chunk header runs past the body");
    if (!r.u32(nameUnits) || !r.bytes(2ull * nameUnits, name) || !r.u32(dataSize) || !r.bytes(dataSize, data))
        return RefusedChunk(record, "sizes run past the body");
    if (nameUnits > kMaxTextUnits) {
        longFileNameLog().logf("[ZQ]file name of %u units is over the limit of %zu", nameUnits,
                               kMaxTextUnits);
        return RefusedChunk(record, "file name over the limit");
    }
    std::uint16_t units[kTextWorkAreaUnits] = {};
    if (nameUnits > 0)
        std::memcpy(units, name, 2ull * nameUnits);
    if (!WireUnitsToUtf8(units, nameUnits, record.strFileName))
        return RefusedChunk(record, "file name does not convert to UTF-8");
    record.nSplitDataSize = dataSize;
    if (dataSize > 0)
        TakeBodyBytes(data, dataSize, record.pFileData, buffers);
    record.nType = kBodyFileChunk;
    return ParseResult::kParsed;
}

// Inflates a zlib stream piece by piece straight into the buffers that keep the result, so no
// inflated byte is copied afterwards and no more is produced than the pieces asked for.
class StreamInflater {
public:
    StreamInflater(const std::uint8_t* compressed, std::uint32_t size) {
        m_stream.next_in = const_cast<Bytef*>(compressed); // zlib's API is not const-correct
        m_stream.avail_in = size;
        m_ok = inflateInit(&m_stream) == Z_OK;
    }
    ~StreamInflater() { inflateEnd(&m_stream); }
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;

    // Fills exactly size bytes; false when the stream is damaged or ends before.
    bool take(void* out, std::size_t size) {
        m_stream.next_out = static_cast<Bytef*>(out);
        while (size > 0 && m_ok && !m_ended) {
            const auto piece = static_cast<uInt>(std::min<std::size_t>(size, kMaxPiece));
            m_stream.avail_out = piece;
            const int rc = inflate(&m_stream, Z_NO_FLUSH);
            size -= piece - m_stream.avail_out;
            if (rc == Z_STREAM_END)
                m_ended = true;
            else if (rc != Z_OK)
                m_ok = false;
        }
        return m_ok && size == 0;
    }
    // Whether the stream ends here, producing nothing more (one byte is tried, never more).
    bool endsHere() {
        if (!m_ok)
            return false;
        if (m_ended)
            return true;
        std::uint8_t extra = 0;
        m_stream.next_out = &extra;
        m_stream.avail_out = 1;
        const int rc = inflate(&m_stream, Z_FINISH);
        return rc == Z_STREAM_END && m_stream.avail_out == 1;
    }

private:
    static constexpr std::size_t kMaxPiece = 1u << 30; // avail_out is 32-bit
    z_stream m_stream{};
    bool m_ok = false;
    bool m_ended = false;
};

// A screen update dropped once its draw sequence was read: marked so that the screen-update taker
// still acknowledges it, because the console paces its strips on those acknowledgements. Nothing
// of it is shown.
ParseResult RefusedStrip(SReceiveData& record) {
    SReceiveData refused;
    refused.bStripRefused = true;
    refused.nDrawSeq = record.nDrawSeq;
    record = std::move(refused);
    return ParseResult::kDropped;
}

// A screen update that does not add up: its line shares the limit of the other malformed bodies.
ParseResult RefusedStrip(SReceiveData& record, const char* why) {
    TextConversionLog().logf("[ZQ]dropped packet of type %d: screen update %u refused: %s",
                             kBodyCompressedScreen, record.nDrawSeq, why);
    return RefusedStrip(record);
}

ParseResult ParseCompressedScreen(wire::Reader& r, SReceiveData& record, ReceiveBuffers& buffers) {
    std::uint32_t rawLen = 0;
    std::uint32_t zLen = 0;
    const std::uint8_t* compressed = nullptr;
    if (!r.u32(rawLen) || !r.u32(zLen) || !r.u32(record.nDrawSeq))
        return Dropped(record, kBodyCompressedScreen, "header runs past the body");
    if (!r.bytes(zLen, compressed))
        return RefusedStrip(record, "compressed length runs past the body");
    const ScreenUpdateLimits* limits = buffers.limits.get();
    // A strip larger than the announced grid can show (before a grid, than the largest canvas; never
    // past the inflate limit) is refused before a byte of it is inflated. Its body was read whole,
    // so the link reads on, and the refusal is acknowledged like any strip.
    const std::uint64_t bound =
        std::min(kMaxInflatedBytes, limits != nullptr ? limits->maxStripBytes() : kMaxInflatedBytes);
    if (rawLen > bound) {
        stripOverGridLog().logf("[ZQ]dropped packet of type %d: screen update %u states %u inflated bytes, "
                                "over the %llu the screen allows",
                                kBodyCompressedScreen, record.nDrawSeq, rawLen,
                                static_cast<unsigned long long>(bound));
        return RefusedStrip(record);
    }
    StreamInflater in(compressed, zLen);
    std::uint8_t head[kDibPayloadSkipBytes + 4];
    if (!in.take(head, sizeof head))
        return RefusedStrip(record, "payload does not inflate to its raw length");
    const std::uint32_t blockCount = wire::GetU32(head + kDibPayloadSkipBytes);
    const std::uint64_t listEnd = sizeof head + 4ull * blockCount;
    if (listEnd + 4 > rawLen)
        return RefusedStrip(record, "block list or image size runs past the payload");
    record.pBlockList.resize(blockCount);
    std::uint8_t sizeField[4];
    if (!in.take(record.pBlockList.data(), 4ull * blockCount) || !in.take(sizeField, sizeof sizeField))
        return RefusedStrip(record, "payload does not inflate to its raw length");
    const std::uint32_t imageSize = wire::GetU32(sizeField);
    const std::uint64_t imageEnd = listEnd + 4 + imageSize;
    if (imageEnd > rawLen)
        return RefusedStrip(record, "block list or image size runs past the payload");
    // A list longer than the grid is the viewer's to refuse (and the console's to have
    // acknowledged); its picture still cannot be larger than the whole grid.
    if (limits != nullptr && limits->hasGrid()) {
        const std::uint64_t named = std::min<std::uint64_t>(blockCount, limits->tileCount());
        if (rawLen > limits->maxInflatedBytes(named) + 4ull * (blockCount - named)) {
            stripOverPixelsLog().logf("[ZQ]dropped packet of type %d: screen update %u of %u inflated bytes "
                                      "for %u tiles, over four bytes a pixel",
                                      kBodyCompressedScreen, record.nDrawSeq, rawLen, blockCount);
            return RefusedStrip(record);
        }
    }
    record.pDibData.resize(imageSize);
    if (!in.take(record.pDibData.data(), imageSize))
        return RefusedStrip(record, "payload does not inflate to its raw length");
    // Bytes the console put behind the image are inflated and passed over, a piece at a time.
    std::uint64_t trailing = rawLen - imageEnd;
    std::uint8_t scratch[4096];
    while (trailing > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(trailing, sizeof scratch));
        if (!in.take(scratch, piece))
            return RefusedStrip(record, "payload does not inflate to its raw length");
        trailing -= piece;
    }
    if (!in.endsHere())
        return RefusedStrip(record, "payload does not inflate to its raw length");
    // The list arrived as little-endian words straight into place (the host order, asserted above).
    record.nBlockCount = blockCount;
    record.nDibSize = imageSize;
    record.nType = kBodyCompressedScreen;
    return ParseResult::kParsed;
}

ParseResult ParseH264(wire::Reader& r, SReceiveData& record, ReceiveBuffers& buffers) {
    std::uint32_t size = 0;
    const std::uint8_t* data = nullptr;
    if (!r.u32(size) || !r.u32(record.nDrawSeq) || !r.u32(record.nH264Extra) || !r.bytes(size, data))
        return Dropped(record, kBodyH264, "frame size runs past the body");
    if (buffers.limits != nullptr && size > buffers.limits->maxFrameBytes()) {
        frameOverSizeLog().logf("[ZQ]dropped packet of type %d: frame of %u bytes, the announced screen "
                                "allows %llu",
                                kBodyH264, size,
                                static_cast<unsigned long long>(buffers.limits->maxFrameBytes()));
        record = SReceiveData{};
        return ParseResult::kDropped;
    }
    record.nH264Size = size;
    TakeBodyBytes(data, size, record.pH264Data, buffers);
    record.nType = kBodyH264;
    return ParseResult::kParsed;
}

ParseResult ParseEnvelope(wire::Reader& r, SReceiveData& record, ReceiveBuffers& buffers) {
    std::uint32_t innerLen = 0;
    const std::uint8_t* inner = nullptr;
    if (!r.skip(kEnvelopeSkipBytes) || !r.u32(innerLen) || innerLen < 1 || !r.bytes(innerLen, inner))
        return Dropped(record, kBodyRelayEnvelope, "inner length does not fit the body");
    wire::Reader innerReader(inner + 1, innerLen - 1);
    switch (inner[0]) {
    case kBodyCompressedScreen:
        return ParseCompressedScreen(innerReader, record, buffers);
    case kBodyFileChunk:
        return ParseFile(innerReader, record, buffers);
    case kBodyTextCommand:
        return ParseText(innerReader, record);
    default:
        return ParseResult::kParsed; // type 0: not posted
    }
}

} // namespace

ParseResult ParseBody(const std::uint8_t* body, std::size_t size, SReceiveData& record,
                      ReceiveBuffers& buffers) {
    if (size < 1)
        return Dropped(record, 0, "empty body");
    wire::Reader r(body + 1, size - 1);
    switch (body[0]) {
    case kBodyTextCommand:
        return ParseText(r, record);
    case kBodyScreenFormat:
    case kBodyType3:
    case kBodyScreenImage:
    case kBodyType8:
        record.nType = body[0];
        return ParseResult::kParsed;
    case kBodyKeyInput:
        return ParseKey(r, record);
    case kBodyMouseInput:
        return ParseMouse(r, record);
    case kBodyFileChunk:
        return ParseFile(r, record, buffers);
    case kBodyCompression:
        record.pCompressData.assign(body + 1, body + size);
        record.nType = kBodyCompression;
        return ParseResult::kParsed;
    case kBodyCompressedScreen:
        return ParseCompressedScreen(r, record, buffers);
    case kBodyH264:
        return ParseH264(r, record, buffers);
    case kBodyRelayEnvelope:
        return ParseEnvelope(r, record, buffers);
    default:
        return ParseResult::kParsed; // no dispatch row: read and dropped as type 0
    }
}

} // namespace transport
