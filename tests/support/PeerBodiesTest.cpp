// Binary bodies of the peers against the wire's byte vectors, and their parsers against every
// truncation.
#include "support/PeerBodies.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace testsupport {
namespace {

const Bytes kMouseClick{0x05, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00,
                        0x64, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(PeerBodiesTest, MouseClickMatchesTheWireVector) {
    EXPECT_EQ(mouseBody({{513, 0, 100, 200, 0}}), kMouseClick);
    const auto entries = parseMouse(kMouseClick);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].event, 513);
    EXPECT_EQ((*entries)[0].x, 100);
    EXPECT_EQ((*entries)[0].y, 200);
}

TEST(PeerBodiesTest, WheelValueIsSignExtendedFromSixteenBits) {
    Bytes wheel = kMouseClick;
    for (std::size_t i = 7; i <= 18; ++i) {
        wheel[i] = 0;
    }
    wheel[19] = 0xFD;
    wheel[20] = 0xFF;
    const auto entries = parseMouse(wheel);
    ASSERT_TRUE(entries);
    EXPECT_EQ((*entries)[0].wheel, -3);
    EXPECT_EQ((*entries)[0].x, 0);
}

TEST(PeerBodiesTest, CompressionSettingRepeatsItsValue) {
    const Bytes golden{0x0A, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};
    EXPECT_EQ(compressionBody(4), golden);
    const auto parsed = parseCompression(golden);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->compThreads, 4u);
    EXPECT_EQ(parsed->repeated, 4u);
}

TEST(PeerBodiesTest, FileNameFieldHasOneUnitPerUtf8Byte) {
    struct Case {
        std::string name;
        std::size_t fieldBytes;
        std::size_t zeroTail;
    };
    const Case cases[] = {{"a.txt", 10, 0}, {"\xEA\xB0\x80\xEB\x82\x98", 12, 8}};
    const Bytes data{1, 2, 3};
    for (const Case& c : cases) {
        const auto body = fileBody(4, 2, c.name, data);
        ASSERT_TRUE(body);
        ASSERT_EQ(body->size(), 21 + c.fieldBytes + data.size());
        for (std::size_t i = 17 + c.fieldBytes - c.zeroTail; i < 17 + c.fieldBytes; ++i) {
            EXPECT_EQ((*body)[i], 0) << i;
        }
        const auto piece = parseFilePiece(*body);
        ASSERT_TRUE(piece);
        EXPECT_EQ(piece->constant, 3u);
        EXPECT_EQ(piece->splitCount, 4u);
        EXPECT_EQ(piece->seq, 2u);
        EXPECT_EQ(piece->name, c.name);
        EXPECT_EQ(piece->data, data);
    }
}

TEST(PeerBodiesTest, ScreenImageCarriesItsSizeTwice) {
    Bytes body(53 + 1000, 0);
    body[0] = kBodyImage;
    body[21] = 7;    // draw sequence
    body[37] = 0x80; // width 128
    body[41] = 0x40; // height 64
    body[45] = body[49] = 0xE8;
    body[46] = body[50] = 0x03; // 1000
    const auto image = parseScreenImage(body);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->drawSeq, 7u);
    EXPECT_EQ(image->width, 128u);
    EXPECT_EQ(image->height, 64u);
    EXPECT_EQ(image->image.size(), 1000u);
    EXPECT_TRUE(image->zeroFieldsClear);

    Bytes disagreeing = body;
    disagreeing[49] = 0xE7;
    EXPECT_FALSE(parseScreenImage(disagreeing));
    Bytes dirty = body;
    dirty[30] = 1;
    EXPECT_FALSE(parseScreenImage(dirty)->zeroFieldsClear);
}

TEST(PeerBodiesTest, StrokeOfThreePointsIsFiftyThreeBytes) {
    Bytes body{kBodyStroke};
    for (std::uint32_t v : {2u, 0u, 5u, 1u}) {
        putU32(body, v);
    }
    body.insert(body.end(), {1, 0, 0, 0});
    putU32(body, 0x00FF0000);
    putU32(body, 3);
    for (std::uint32_t v : {10u, 20u, 11u, 21u, 12u, 0xFFFFFFFFu}) {
        putU32(body, v);
    }
    ASSERT_EQ(body.size(), 53u);
    const auto stroke = parseStroke(body);
    ASSERT_TRUE(stroke);
    EXPECT_EQ(stroke->slot, 2);
    EXPECT_EQ(stroke->thickness, 5);
    EXPECT_TRUE(stroke->blend);
    EXPECT_EQ(stroke->color, 0x00FF0000u);
    ASSERT_EQ(stroke->points.size(), 3u);
    EXPECT_EQ(stroke->points[2], std::make_pair(12, -1));
}

TEST(PeerBodiesTest, TilesInflateToTheBlockListAndImage) {
    const Bytes image{9, 8, 7, 6, 5};
    const auto body = tilesBody(42, {3, 4}, image);
    ASSERT_TRUE(body);
    std::uint32_t rawLen = 0;
    std::uint32_t zLen = 0;
    std::uint32_t seq = 0;
    ASSERT_TRUE(readU32(*body, 1, rawLen));
    ASSERT_TRUE(readU32(*body, 5, zLen));
    ASSERT_TRUE(readU32(*body, 9, seq));
    EXPECT_EQ(seq, 42u);
    EXPECT_EQ(rawLen, 4u + 4u + 2 * 4u + 4u + image.size());
    ASSERT_EQ(body->size(), 13u + zLen);

    Bytes raw(rawLen);
    uLongf rawSize = rawLen;
    ASSERT_EQ(uncompress(raw.data(), &rawSize, body->data() + 13, zLen), Z_OK);
    const Bytes expected{0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 9, 8, 7, 6, 5};
    EXPECT_EQ(raw, expected);
}

TEST(PeerBodiesTest, KeyAndH264BodiesHaveTheirLayouts) {
    const Bytes key = keyBody({{-2, 0x11, 0x22, 0x33}});
    EXPECT_EQ(key, (Bytes{0x04, 1, 0, 0, 0, 0xFE, 0xFF, 0x11, 0, 0, 0, 0x22, 0, 0, 0, 0x33, 0, 0, 0}));
    const Bytes h264 = h264Body(5, 0, {0xAA, 0xBB});
    EXPECT_EQ(h264, (Bytes{0x11, 2, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB}));
    const auto parsed = parseH264(h264);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->drawSeq, 5u);
    EXPECT_EQ(parsed->data, (Bytes{0xAA, 0xBB}));
}

TEST(PeerBodiesTest, ParsersRefuseEveryTruncatedBody) {
    Bytes image(53 + 4, 0);
    image[0] = kBodyImage;
    image[45] = image[49] = 4;
    Bytes format{kBodyScreenFormat};
    for (std::uint32_t v : {1920u, 1080u, 32u}) {
        putU32(format, v);
    }
    const Bytes bodies[] = {kMouseClick, compressionBody(4),        *fileBody(1, 0, "ab", {1, 2}),
                            image,       h264Body(1, 0, {1, 2, 3}), format};
    for (const Bytes& body : bodies) {
        for (std::size_t size = 0; size < body.size(); ++size) {
            const Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(size));
            EXPECT_FALSE(parseMouse(cut) || parseCompression(cut) || parseFilePiece(cut) ||
                         parseScreenImage(cut) || parseH264(cut) || parseScreenFormat(cut))
                << int(body[0]) << " cut at " << size;
        }
    }
    ASSERT_TRUE(parseScreenFormat(format));
    EXPECT_EQ(parseScreenFormat(format)->height, 1080u);
    Bytes hugeName = *fileBody(1, 0, "ab", {1, 2});
    hugeName[13] = hugeName[14] = hugeName[15] = hugeName[16] = 0xFF;
    EXPECT_FALSE(parseFilePiece(hugeName));
    Bytes hugeCount = kMouseClick;
    hugeCount[4] = 0x80;
    EXPECT_FALSE(parseMouse(hugeCount));
}

} // namespace
} // namespace testsupport
