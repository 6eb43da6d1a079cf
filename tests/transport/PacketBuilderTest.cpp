// Builder outputs for every body type the agent sends, against bytes laid out by hand.
#include "GoldenWire.h"
#include "transport/TCPServerClient.h"
#include "transport/TCP_RelayServerConn.h"

#include <gtest/gtest.h>

namespace transport {
namespace {

using golden::Bytes;

Bytes Body(const SRequestData& r) {
    return Bytes(r.pBuffer.begin(), r.pBuffer.begin() + r.nLength);
}

TEST(PacketBuilderTest, MouseEvent) {
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacketMouseEvent(r, 513, 100, 200));
    EXPECT_EQ(Body(r), (Bytes{0x05, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00,
                              0x64, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST(PacketBuilderTest, MouseWheelSendsOnlyYDelta) {
    for (int xDelta : {0, 7, -100000}) {
        SRequestData r;
        ASSERT_TRUE(TCPServerClient::MakeSendPacketMouseWheelEvent(r, 522, xDelta, -3));
        const Bytes b = Body(r);
        ASSERT_EQ(b.size(), 21u);
        EXPECT_EQ(b[0], 0x05);
        EXPECT_EQ(golden::GetU32(b, 1), 1u);
        EXPECT_EQ(b[5], 0x0A);
        EXPECT_EQ(b[6], 0x02);
        for (int i = 7; i <= 18; ++i)
            EXPECT_EQ(b[i], 0) << "offset " << i;
        EXPECT_EQ(b[19], 0xFD);
        EXPECT_EQ(b[20], 0xFF);
    }
}

TEST(PacketBuilderTest, CompressionSettingRepeatsThreadsNotSession) {
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(r, 4, 9));
    EXPECT_EQ(Body(r), (Bytes{0x0A, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00}));
}

TEST(PacketBuilderTest, ScreenFormat) {
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(r, 1920, 1080, 32));
    EXPECT_EQ(Body(r), (Bytes{0x02, 0x80, 0x07, 0, 0, 0x38, 0x04, 0, 0, 0x20, 0, 0, 0}));
}

TEST(PacketBuilderTest, ScreenImageCarriesSizeTwice) {
    const Bytes image(1000, 0xAB);
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(r, image.data(), 1000, 640, 480, 77));
    const Bytes b = Body(r);
    ASSERT_EQ(b.size(), 1053u);
    EXPECT_EQ(b[0], 7);
    for (int i = 1; i < 21; ++i)
        EXPECT_EQ(b[i], 0);
    EXPECT_EQ(golden::GetU32(b, 21), 77u);
    for (int i = 25; i < 37; ++i)
        EXPECT_EQ(b[i], 0);
    EXPECT_EQ(golden::GetU32(b, 37), 640u);
    EXPECT_EQ(golden::GetU32(b, 41), 480u);
    EXPECT_EQ(golden::GetU32(b, 45), 1000u);
    EXPECT_EQ(golden::GetU32(b, 49), 1000u);
    EXPECT_EQ(Bytes(b.begin() + 53, b.end()), image);

    SRequestData small;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(small, image.data(), 1000, 160, 120));
    EXPECT_EQ(golden::GetU32(Body(small), 21), 0u);
}

TEST(PacketBuilderTest, FileChunkAsciiName) {
    const Bytes data = {1, 2, 3};
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacketFileData(r, 4, 2, "a.txt", 3, data.data()));
    Bytes expected = {0x09};
    golden::PutU32(expected, 3);
    golden::PutU32(expected, 4);
    golden::PutU32(expected, 2);
    golden::PutU32(expected, 5);
    for (char c : std::string("a.txt"))
        golden::PutU16(expected, static_cast<std::uint16_t>(c));
    golden::PutU32(expected, 3);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(Body(r), expected);
}

TEST(PacketBuilderTest, FileChunkKoreanNameIsPaddedToUtf8Length) {
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacketFileData(r, 1, 0, "\xED\x95\x9C\xEA\xB8\x80", 0, nullptr));
    const Bytes b = Body(r);
    ASSERT_EQ(b.size(), 21u + 12);
    EXPECT_EQ(golden::GetU32(b, 13), 6u);
    EXPECT_EQ(b[17], 0x5C); // U+D55C
    EXPECT_EQ(b[18], 0xD5);
    EXPECT_EQ(b[19], 0x00); // U+AE00
    EXPECT_EQ(b[20], 0xAE);
    for (int i = 21; i < 29; ++i)
        EXPECT_EQ(b[i], 0) << "offset " << i;
    EXPECT_EQ(golden::GetU32(b, 29), 0u);
}

TEST(PacketBuilderTest, H264Frame) {
    const Bytes frame = {0, 0, 0, 1, 0x67};
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacketH264(r, frame.data(), 5, 9));
    Bytes expected = {17};
    golden::PutU32(expected, 5);
    golden::PutU32(expected, 9);
    golden::PutU32(expected, 0);
    expected.insert(expected.end(), frame.begin(), frame.end());
    EXPECT_EQ(Body(r), expected);
}

TEST(PacketBuilderTest, StrokeWithThreePoints) {
    StrokeData stroke;
    stroke.nSlot = 5;
    stroke.nTool = 4;
    stroke.nThickness = 8;
    stroke.nThicknessMode = 2;
    stroke.bBlend = true;
    stroke.nColor = 0x1234'00FF00FFull; // only the low 32 bits go out
    stroke.points = {{1, 2}, {-3, 4}, {5, 6}};
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(r, stroke));
    Bytes expected = {14};
    for (std::uint32_t v : {5u, 4u, 8u, 2u})
        golden::PutU32(expected, v);
    expected.insert(expected.end(), {1, 0, 0, 0});
    golden::PutU32(expected, 0x00FF00FF);
    golden::PutU32(expected, 3);
    for (std::int32_t v : {1, 2, -3, 4, 5, 6})
        golden::PutU32(expected, static_cast<std::uint32_t>(v));
    ASSERT_EQ(expected.size(), 53u);
    EXPECT_EQ(Body(r), expected);
}

TEST(PacketBuilderTest, RelayEnvelopeAroundHeartbeat) {
    auto r = newRequestData(512);
    ASSERT_TRUE(TCP_RelayServerConn::MakeRelayPacket(*r, "[PC00003]", RelayConnData{12, 34}));
    Bytes expected = {13};
    golden::PutU32(expected, 34); // teacher's connection first
    golden::PutU32(expected, 12);
    golden::PutU32(expected, 91);
    expected.insert(expected.end(), golden::kPC00003Body.begin(), golden::kPC00003Body.end());
    ASSERT_EQ(expected.size(), 104u);
    EXPECT_EQ(Body(*r), expected);
}

TEST(PacketBuilderTest, RelayDibTakesValuesFromScreenRecord) {
    const Bytes image(10, 0x11);
    SRequestData r;
    ASSERT_TRUE(TCP_RelayServerConn::MakeRelayDibPacket(r, RelayConnData{1, 2},
                                                        RelayScreenData{10, 320, 240, 6}, image.data()));
    const Bytes b = Body(r);
    ASSERT_EQ(b.size(), 13u + 53 + 10);
    EXPECT_EQ(golden::GetU32(b, 9), 63u);
    EXPECT_EQ(b[13], 7);
    EXPECT_EQ(golden::GetU32(b, 13 + 21), 6u);
    EXPECT_EQ(golden::GetU32(b, 13 + 37), 320u);
    EXPECT_EQ(golden::GetU32(b, 13 + 41), 240u);
    EXPECT_EQ(golden::GetU32(b, 13 + 45), 10u);
}

TEST(PacketBuilderTest, RelayFileTakesDataFromFileRecord) {
    const Bytes data = {9, 8, 7, 6};
    RelayFileData file;
    file.nSeq = 3;
    file.nSplitCnt = 7;
    file.nSize = 4;
    file.pData = data.data();
    file.pFileName = "ab";
    file.nNameLen = 999;
    SRequestData r;
    const std::uint8_t ignored = 0;
    ASSERT_TRUE(TCP_RelayServerConn::MakeRelayFilePacket(r, RelayConnData{1, 2}, file, &ignored));
    const Bytes b = Body(r);
    ASSERT_EQ(b.size(), 13u + 21 + 4 + 4);
    EXPECT_EQ(b[13], 9);
    EXPECT_EQ(golden::GetU32(b, 13 + 5), 7u);
    EXPECT_EQ(golden::GetU32(b, 13 + 9), 3u);
    EXPECT_EQ(golden::GetU32(b, 13 + 13), 2u);
    EXPECT_EQ(Bytes(b.end() - 4, b.end()), data);
}

TEST(PacketBuilderTest, CompressedScreenUpdate) {
    // Raw length 0x0102, compressed length 5, draw sequence 0x2A, then the five compressed bytes.
    const Bytes z = {0x78, 0x9C, 0x03, 0x00, 0x01};
    const Bytes golden = {0x0C, 0x02, 0x01, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
                          0x2A, 0x00, 0x00, 0x00, 0x78, 0x9C, 0x03, 0x00, 0x01};
    SRequestData r;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(r, z.data(), 5, 0x0102u, 5u, 0x2Au));
    EXPECT_EQ(Body(r), golden);

    // Only the compressed bytes travel, however large the buffer they sit in.
    const Bytes padded = {0x78, 0x9C, 0x03, 0x00, 0x01, 0xEE, 0xEE};
    SRequestData fromLarger;
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(fromLarger, padded.data(), 7, 0x0102u, 5u, 0x2Au));
    EXPECT_EQ(Body(fromLarger), golden);

    SRequestData tooFew;
    EXPECT_FALSE(TCPServerClient::MakeSendPacket(tooFew, z.data(), 5, 0x0102u, 6u, 0u));
    EXPECT_EQ(tooFew.nLength, 0u);
}

TEST(PacketBuilderTest, UnusablePayloadBuildsNothing) {
    SRequestData r;
    EXPECT_FALSE(TCPServerClient::MakeSendPacketH264(r, nullptr, 10, 0));
    EXPECT_EQ(r.nLength, 0u);
    const std::uint8_t one = 1;
    EXPECT_FALSE(TCPServerClient::MakeSendPacket(r, &one, -1, 1, 1, 0));
    EXPECT_EQ(r.nLength, 0u);
}

} // namespace
} // namespace transport
