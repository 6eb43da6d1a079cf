// What the receive side makes of every body type, and of bodies that do not add up.
#include "GoldenWire.h"
#include "transport/PacketCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace transport {
namespace {

using golden::Bytes;
using golden::PutU16;
using golden::PutU32;

Bytes KeyBody() {
    Bytes b = {4};
    PutU32(b, 2);
    for (int i = 0; i < 2; ++i) {
        PutU16(b, i == 0 ? 0x0010 : 0xFFFE); // second entry: -2
        PutU32(b, 100 + i);
        PutU32(b, 200 + i);
        PutU16(b, 0xABCD);
        PutU16(b, 0x7777); // not read
    }
    return b;
}

Bytes MouseBody(std::uint32_t count = 1) {
    Bytes b = {5};
    PutU32(b, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        PutU16(b, 0xFE01); // event, negative
        PutU32(b, 7);
        PutU32(b, 100);
        PutU32(b, static_cast<std::uint32_t>(-5));
        PutU16(b, 0xFFFD); // wheel -3
    }
    return b;
}

Bytes FileBody() {
    Bytes b = {9};
    PutU32(b, 3);
    PutU32(b, 10); // chunks
    PutU32(b, 4);  // sequence
    PutU32(b, 6);  // two Korean syllables: 6 UTF-8 bytes, 6 units
    PutU16(b, 0xD55C);
    PutU16(b, 0xAE00);
    for (int i = 0; i < 4; ++i)
        PutU16(b, 0);
    PutU32(b, 3);
    b.insert(b.end(), {0xDE, 0xAD, 0xBE});
    return b;
}

Bytes Payload(std::uint32_t blocks, std::uint32_t imageSize) {
    Bytes p;
    PutU32(p, 0xCAFEBABE);
    PutU32(p, blocks);
    for (std::uint32_t i = 0; i < blocks; ++i)
        PutU32(p, 10 + i);
    PutU32(p, imageSize);
    for (std::uint32_t i = 0; i < imageSize; ++i)
        p.push_back(static_cast<std::uint8_t>(i));
    return p;
}

Bytes Compress(const Bytes& raw) {
    uLongf zLen = compressBound(raw.size());
    Bytes z(zLen);
    EXPECT_EQ(compress(z.data(), &zLen, raw.data(), raw.size()), Z_OK);
    z.resize(zLen);
    return z;
}

Bytes DibBody(const Bytes& payload, std::uint32_t drawSeq = 42) {
    const Bytes z = Compress(payload);
    Bytes b = {12};
    PutU32(b, static_cast<std::uint32_t>(payload.size()));
    PutU32(b, static_cast<std::uint32_t>(z.size()));
    PutU32(b, drawSeq);
    b.insert(b.end(), z.begin(), z.end());
    return b;
}

Bytes H264Body() {
    Bytes b = {17};
    PutU32(b, 4);
    PutU32(b, 99);
    PutU32(b, 5);
    b.insert(b.end(), {0, 0, 0, 1});
    return b;
}

ParseResult Parse(const Bytes& body, SReceiveData& record) {
    // An exactly sized heap copy, so the address sanitizer sees any read past the body.
    auto copy = std::make_unique<std::uint8_t[]>(body.size());
    std::copy(body.begin(), body.end(), copy.get());
    ReceiveBuffers buffers;
    return ParseBody(copy.get(), body.size(), record, buffers);
}

TEST(PacketParserTest, KeyInputKeepsLastEntry) {
    SReceiveData r;
    ASSERT_EQ(Parse(KeyBody(), r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 4);
    EXPECT_EQ(r.nKeyValue1, -2);
    EXPECT_EQ(r.nKeyValue2, 101u);
    EXPECT_EQ(r.nKeyValue3, 201u);
    EXPECT_EQ(r.nKeyValue4, 0xABCDu);
}

TEST(PacketParserTest, MouseInputSignExtends) {
    SReceiveData r;
    ASSERT_EQ(Parse(MouseBody(), r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 5);
    EXPECT_EQ(r.nMouseEvent, -511);
    EXPECT_EQ(r.nMouseExtra, 7u);
    EXPECT_EQ(r.nMouseX, 100);
    EXPECT_EQ(r.nMouseY, -5);
    EXPECT_EQ(r.nMouseWheel, -3);
}

TEST(PacketParserTest, MouseWithoutEntriesLeavesMinusOne) {
    SReceiveData r;
    ASSERT_EQ(Parse(MouseBody(0), r), ParseResult::kParsed);
    EXPECT_EQ(r.nMouseX, -1);
    EXPECT_EQ(r.nMouseY, -1);
    EXPECT_EQ(r.nMouseWheel, -1);
    EXPECT_EQ(r.nMouseEvent, -1);
    EXPECT_EQ(r.nMouseExtra, 0xFFFFFFFFu);
}

TEST(PacketParserTest, FileChunk) {
    SReceiveData r;
    ASSERT_EQ(Parse(FileBody(), r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 9);
    EXPECT_EQ(r.nSplitCnt, 10u);
    EXPECT_EQ(r.nSeq, 4u);
    EXPECT_EQ(r.strFileName, "\xED\x95\x9C\xEA\xB8\x80");
    EXPECT_EQ(r.nSplitDataSize, 3u);
    EXPECT_EQ(r.pFileData, (Bytes{0xDE, 0xAD, 0xBE}));
}

TEST(PacketParserTest, CompressionSettingIsCopied) {
    SReceiveData r;
    ASSERT_EQ(Parse({10, 4, 0, 0, 0, 4, 0, 0, 0}, r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 10);
    EXPECT_EQ(r.pCompressData, (Bytes{4, 0, 0, 0, 4, 0, 0, 0}));
}

TEST(PacketParserTest, CompressedScreenUpdate) {
    SReceiveData r;
    ASSERT_EQ(Parse(DibBody(Payload(3, 50)), r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 12);
    EXPECT_EQ(r.nDrawSeq, 42u);
    EXPECT_EQ(r.nBlockCount, 3u);
    EXPECT_EQ(r.pBlockList, (std::vector<std::uint32_t>{10, 11, 12}));
    EXPECT_EQ(r.nDibSize, 50u);
    ASSERT_EQ(r.pDibData.size(), 50u);
    EXPECT_EQ(r.pDibData[49], 49);
}

TEST(PacketParserTest, H264Frame) {
    SReceiveData r;
    ASSERT_EQ(Parse(H264Body(), r), ParseResult::kParsed);
    EXPECT_EQ(r.nType, 17);
    EXPECT_EQ(r.nH264Size, 4u);
    EXPECT_EQ(r.nDrawSeq, 99u);
    EXPECT_EQ(r.nH264Extra, 5u);
    EXPECT_EQ(r.pH264Data, (Bytes{0, 0, 0, 1}));
}

TEST(PacketParserTest, TypeOnlyBodies) {
    for (std::uint8_t type : {2, 3, 7, 8}) {
        SReceiveData r;
        ASSERT_EQ(Parse({type}, r), ParseResult::kParsed);
        EXPECT_EQ(r.nType, type);
    }
    for (std::uint8_t type : {0, 6, 11, 14, 15, 16, 18, 255}) {
        SReceiveData r;
        ASSERT_EQ(Parse({type, 1, 2}, r), ParseResult::kParsed);
        EXPECT_EQ(r.nType, 0) << int(type);
    }
}

TEST(PacketParserTest, EnvelopeParsesTextFileAndScreenInside) {
    SReceiveData text;
    ASSERT_EQ(Parse(golden::Envelope(golden::TextBody("[MV00050]true")), text), ParseResult::kParsed);
    EXPECT_EQ(text.nType, 1);
    EXPECT_EQ(text.strCode, "[MV00050]");
    EXPECT_EQ(text.strParams, "true");

    SReceiveData file;
    ASSERT_EQ(Parse(golden::Envelope(FileBody()), file), ParseResult::kParsed);
    EXPECT_EQ(file.nType, 9);
    EXPECT_EQ(file.pFileData.size(), 3u);

    SReceiveData dib;
    ASSERT_EQ(Parse(golden::Envelope(DibBody(Payload(1, 4))), dib), ParseResult::kParsed);
    EXPECT_EQ(dib.nType, 12);
}

TEST(PacketParserTest, EnvelopeAroundOtherTypesYieldsNothing) {
    for (const Bytes& inner : {Bytes{7, 0, 0}, H264Body(), KeyBody(), Bytes{13}}) {
        SReceiveData r;
        ASSERT_EQ(Parse(golden::Envelope(inner), r), ParseResult::kParsed);
        EXPECT_EQ(r.nType, 0);
    }
}

// Every strict prefix of a body with counts inside is inconsistent: dropped, never read past.
TEST(MalformedInputTest, TruncatedBodiesAreDropped) {
    const std::vector<Bytes> bodies = {golden::kPC00003Body,
                                       KeyBody(),
                                       MouseBody(2),
                                       FileBody(),
                                       DibBody(Payload(2, 8)),
                                       H264Body(),
                                       golden::Envelope(golden::kPC00003Body),
                                       golden::Envelope(FileBody())};
    for (const Bytes& body : bodies) {
        for (std::size_t n = 1; n < body.size(); ++n) {
            SReceiveData r;
            r.strCode = "stale";
            EXPECT_EQ(Parse(Bytes(body.begin(), body.begin() + n), r), ParseResult::kDropped)
                << "type " << int(body[0]) << " cut at " << n;
            EXPECT_EQ(r.nType, 0);
            EXPECT_TRUE(r.strCode.empty());
        }
    }
}

struct CountCase {
    const char* name;
    Bytes body;
    std::size_t offset; // of the u32 count to replace
    std::uint32_t value;
    ParseResult expected;
};

std::vector<CountCase> CountCases() {
    std::vector<CountCase> cases;
    auto add = [&](const char* name, const Bytes& body, std::size_t offset, ParseResult huge) {
        const std::uint32_t original = golden::GetU32(body, offset);
        cases.push_back({name, body, offset, 0xFFFFFFFFu, huge});
        cases.push_back({name, body, offset, 0x80000000u, huge});
        cases.push_back({name, body, offset, 0x7FFFFFFFu, huge});
        cases.push_back({name, body, offset, original + 1, ParseResult::kDropped});
    };
    add("text digest length", golden::kPC00003Body, 1, ParseResult::kDropped);
    add("text length", golden::kPC00003Body, 69, ParseResult::kDropped);
    add("key count", KeyBody(), 1, ParseResult::kDropped);
    add("mouse count", MouseBody(), 1, ParseResult::kDropped);
    add("file name length", FileBody(), 13, ParseResult::kDropped);
    add("file data size", FileBody(), 17 + 12, ParseResult::kDropped);
    add("compressed length", DibBody(Payload(2, 8)), 5, ParseResult::kDropped);
    add("raw length", DibBody(Payload(2, 8)), 1, ParseResult::kDropped);
    add("h264 size", H264Body(), 1, ParseResult::kDropped);
    add("envelope inner length", golden::Envelope(golden::kPC00003Body), 9, ParseResult::kDropped);
    add("inner text length", golden::Envelope(golden::kPC00003Body), 13 + 69, ParseResult::kDropped);
    return cases;
}

TEST(MalformedInputTest, CountsHugeAndOffByOne) {
    for (const CountCase& c : CountCases()) {
        Bytes body = c.body;
        body[c.offset] = static_cast<std::uint8_t>(c.value);
        body[c.offset + 1] = static_cast<std::uint8_t>(c.value >> 8);
        body[c.offset + 2] = static_cast<std::uint8_t>(c.value >> 16);
        body[c.offset + 3] = static_cast<std::uint8_t>(c.value >> 24);
        SReceiveData r;
        EXPECT_EQ(Parse(body, r), c.expected) << c.name << " = " << c.value;
        EXPECT_EQ(r.nType, 0) << c.name;
    }
}

TEST(MalformedInputTest, PayloadCountsInsideInflatedData) {
    struct Case {
        std::uint32_t blocks;
        std::uint32_t imageSize;
        std::size_t cut; // bytes removed from the end of the payload
    };
    for (const Case& c :
         {Case{0xFFFFFFFF, 0, 0}, Case{3, 0xFFFFFFFF, 0}, Case{3, 10, 1}, Case{0x40000001, 4, 0}}) {
        Bytes payload = Payload(c.blocks > 16 ? 0 : c.blocks, c.imageSize > 16 ? 0 : c.imageSize);
        golden::Bytes patched = payload;
        patched[4] = static_cast<std::uint8_t>(c.blocks);
        patched[5] = static_cast<std::uint8_t>(c.blocks >> 8);
        patched[6] = static_cast<std::uint8_t>(c.blocks >> 16);
        patched[7] = static_cast<std::uint8_t>(c.blocks >> 24);
        if (c.imageSize > 16) {
            const std::size_t at = patched.size() - 4;
            for (int i = 0; i < 4; ++i)
                patched[at + i] = static_cast<std::uint8_t>(c.imageSize >> (8 * i));
        }
        patched.resize(patched.size() - c.cut);
        SReceiveData r;
        EXPECT_EQ(Parse(DibBody(patched), r), ParseResult::kDropped) << c.blocks << "/" << c.imageSize;
    }
}

TEST(MalformedInputTest, CorruptZlibIsDropped) {
    const Bytes good = DibBody(Payload(2, 64));
    for (std::size_t at : {std::size_t{13}, std::size_t{14}, good.size() / 2 + 6, good.size() - 1}) {
        Bytes bad = good;
        bad[at] ^= 0x5A;
        SReceiveData r;
        EXPECT_EQ(Parse(bad, r), ParseResult::kDropped) << "flipped byte " << at;
    }
    Bytes garbage = {12};
    PutU32(garbage, 100);
    PutU32(garbage, 8);
    PutU32(garbage, 1);
    garbage.insert(garbage.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    SReceiveData r;
    EXPECT_EQ(Parse(garbage, r), ParseResult::kDropped);
}

TEST(MalformedInputTest, ShortInflationIsNotParsedFromOldBufferContent) {
    ReceiveBuffers buffers;
    SReceiveData first;
    const Bytes big = DibBody(Payload(4, 100));
    ASSERT_EQ(ParseBody(big.data(), big.size(), first, buffers), ParseResult::kParsed);
    // Claims a longer raw length than the data inflates to; the buffer still holds the old payload.
    Bytes shortBody = DibBody(Payload(1, 2));
    const std::uint32_t claimed = static_cast<std::uint32_t>(Payload(4, 100).size());
    for (int i = 0; i < 4; ++i)
        shortBody[1 + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
    SReceiveData second;
    EXPECT_EQ(ParseBody(shortBody.data(), shortBody.size(), second, buffers), ParseResult::kDropped);
}

TEST(MalformedInputTest, OddTextLengthAndLoneSurrogate) {
    Bytes odd = golden::TextBody("[PC00003]");
    odd.push_back(0x41);
    odd[69] = 19; // 19 bytes: the half unit is ignored
    SReceiveData r;
    ASSERT_EQ(Parse(odd, r), ParseResult::kParsed);
    EXPECT_EQ(r.strCode, "[PC00003]");

    Bytes lone = golden::TextBody("[PC00003]x");
    lone[73 + 18] = 0x00 ^ golden::kTextKeystream[18];
    lone[73 + 19] = 0xD8 ^ golden::kTextKeystream[19]; // U+D800 alone
    SReceiveData bad;
    EXPECT_EQ(Parse(lone, bad), ParseResult::kDropped);
}

} // namespace
} // namespace transport

namespace transport {
namespace {

Bytes H264OfSize(std::uint32_t size) {
    Bytes b = {17};
    PutU32(b, size);
    PutU32(b, 1);
    PutU32(b, 0);
    b.resize(b.size() + size, 0);
    return b;
}

// A strip whose raw length field says one thing while the data inflates to another.
Bytes StripStating(const Bytes& payload, std::uint32_t rawLen) {
    Bytes body = DibBody(payload);
    for (int i = 0; i < 4; ++i)
        body[1 + i] = static_cast<std::uint8_t>(rawLen >> (8 * i));
    return body;
}

// The 25-byte strip of a console that states a raw length past the inflate limit: 12 bytes of
// compressed data that never get inflated.
Bytes StripStatingPastTheInflateLimit() {
    Bytes b = {12};
    PutU32(b, static_cast<std::uint32_t>(kMaxInflatedBytes + 1));
    PutU32(b, 12);
    PutU32(b, 42);
    b.resize(25, 0x5A);
    return b;
}

struct BoundCase {
    const char* name;
    Bytes body;
    ParseResult expected;
    int type;
    bool refusedStrip = false; // dropped, but kept as refused with its draw sequence 42
};

void ExpectBounds(const std::shared_ptr<const ScreenUpdateLimits>& limits,
                  const std::vector<BoundCase>& cases) {
    for (const BoundCase& c : cases) {
        ReceiveBuffers buffers;
        buffers.limits = limits;
        SReceiveData r;
        EXPECT_EQ(ParseBody(c.body.data(), c.body.size(), r, buffers), c.expected) << c.name;
        EXPECT_EQ(r.nType, c.type) << c.name;
        EXPECT_EQ(r.bStripRefused, c.refusedStrip) << c.name;
        if (c.refusedStrip) {
            EXPECT_EQ(r.nDrawSeq, 42u) << c.name;
            EXPECT_TRUE(r.pDibData.empty() && r.pBlockList.empty()) << c.name;
        }
    }
}

// Bounds from what the console announced: a grid of 4 tiles of 10 x 10 pixels (400 image bytes a
// tile at four bytes a pixel) and an encode size of 8 x 8 (256 bytes plus the header slack).
TEST(AnnouncedScreenBoundsTest, StripsAndFramesBeyondTheAnnouncedScreenAreRefusedAndTheLinkStays) {
    auto limits = std::make_shared<ScreenUpdateLimits>();
    limits->setGrid(4, 100);
    limits->setEncodeSize(8, 8);
    const std::uint32_t gridBytes = 12 + 4 * 4 + 4 * 400;
    const auto frameBound = static_cast<std::uint32_t>(256 + ScreenUpdateLimits::kFrameHeaderSlackBytes);
    ExpectBounds(
        limits,
        {
            {"every tile at four bytes a pixel", DibBody(Payload(4, 1600)), ParseResult::kParsed, 12},
            {"one tile at four bytes a pixel", DibBody(Payload(1, 400)), ParseResult::kParsed, 12},
            {"a picture larger than its one tile", DibBody(Payload(1, 401)), ParseResult::kDropped, 0, true},
            {"a strip stating more than the grid holds", StripStating(Payload(4, 1600), gridBytes + 1),
             ParseResult::kDropped, 0, true},
            {"a bomb stating 60 MiB", StripStating(Bytes(60u << 20, 0), 60u << 20), ParseResult::kDropped, 0,
             true},
            {"a strip stating past the inflate limit", StripStatingPastTheInflateLimit(),
             ParseResult::kDropped, 0, true},
            {"zeros inflating past what is stated", StripStating(Bytes(1u << 20, 0), 64),
             ParseResult::kDropped, 0, true},
            {"a list longer than the grid, for the viewer to refuse", DibBody(Payload(6, 400)),
             ParseResult::kParsed, 12},
            {"a frame of the encode size", H264OfSize(256), ParseResult::kParsed, 17},
            {"a frame of the encode size and its header slack", H264OfSize(frameBound), ParseResult::kParsed,
             17},
            {"a frame one byte past that", H264OfSize(frameBound + 1), ParseResult::kDropped, 0},
        });
}

// Before the console announces anything, a strip is bounded by the largest canvas the viewer builds
// (so by the inflate limit) and a frame by what the H.264 decoder takes, not refused outright.
TEST(AnnouncedScreenBoundsTest, BeforeAnyAnnouncementStripsAndFramesAreBoundedByTheViewerAndDecoder) {
    auto none = std::make_shared<ScreenUpdateLimits>();
    const auto decoderBound = static_cast<std::uint32_t>(ScreenUpdateLimits::kDecoderMaxFrameBytes);
    ExpectBounds(
        none,
        {
            {"a small strip", DibBody(Payload(1, 4)), ParseResult::kParsed, 12},
            {"a picture of 8 MB", DibBody(Payload(2, 8u << 20)), ParseResult::kParsed, 12},
            {"a strip stating past the inflate limit", StripStatingPastTheInflateLimit(),
             ParseResult::kDropped, 0, true},
            {"a small frame", H264OfSize(4), ParseResult::kParsed, 17},
            {"a frame the decoder takes whole", H264OfSize(decoderBound), ParseResult::kParsed, 17},
            {"a frame one byte past what it takes", H264OfSize(decoderBound + 1), ParseResult::kDropped, 0},
        });
    // A canvas announced, no encode size yet: the canvas bounds the frame, with the same slack.
    auto canvas = std::make_shared<ScreenUpdateLimits>();
    canvas->setGrid(4, 100);
    const auto canvasBound = static_cast<std::uint32_t>(4 * 400 + ScreenUpdateLimits::kFrameHeaderSlackBytes);
    ExpectBounds(
        canvas,
        {
            {"a frame of the canvas and its header slack", H264OfSize(canvasBound), ParseResult::kParsed, 17},
            {"a frame one byte past that", H264OfSize(canvasBound + 1), ParseResult::kDropped, 0},
        });
}

// A strip that fails after its draw sequence is kept as refused, so the screen-update taker can
// still acknowledge it; one that fails before keeps nothing.
TEST(AnnouncedScreenBoundsTest, MalformedStripsKeepTheirDrawSequenceForTheAcknowledgement) {
    Bytes corrupt = DibBody(Payload(2, 64));
    corrupt[14] ^= 0x5A;
    Bytes shortHeader = DibBody(Payload(1, 4));
    shortHeader.resize(12);
    Bytes cutData = DibBody(Payload(1, 4));
    cutData.pop_back();
    ExpectBounds(nullptr, {
                              {"corrupt zlib data", corrupt, ParseResult::kDropped, 0, true},
                              {"compressed data cut short", cutData, ParseResult::kDropped, 0, true},
                              {"a header cut before the sequence", shortHeader, ParseResult::kDropped, 0},
                          });
}

} // namespace
} // namespace transport
