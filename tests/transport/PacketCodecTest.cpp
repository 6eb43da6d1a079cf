// Frame, text field and receive-side parsing against golden bytes.
#include "transport/PacketCodec.h"

#include "GoldenWire.h"
#include "platform/ManualRunLoop.h"
#include "platform/PlatformTestSupport.h"
#include "support/CaseName.h"
#include "transport/TCPServerInterface.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

namespace transport {
namespace {

using golden::Bytes;

struct SyncCase {
    std::uint8_t t;
    std::array<std::uint8_t, 4> sync;
    friend void PrintTo(const SyncCase& c, std::ostream* os) { *os << "time byte " << int(c.t); }
};

class SyncWordTest : public testing::TestWithParam<SyncCase> {};

TEST_P(SyncWordTest, MatchesPublishedBytes) {
    EXPECT_EQ(MakeSyncWord(GetParam().t), GetParam().sync);
    EXPECT_TRUE(IsValidSyncWord(GetParam().sync.data()));
    // Each of the first three bytes is checked on its own: one wrong bit in any of them refuses it.
    for (std::size_t at = 0; at < 3; ++at) {
        std::array<std::uint8_t, 4> bad = GetParam().sync;
        bad[at] ^= 0x01;
        EXPECT_FALSE(IsValidSyncWord(bad.data())) << "byte " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SyncWordTest,
                         testing::Values(SyncCase{0x5C, {0xA2, 0xA1, 0xA5, 0x5C}},
                                         SyncCase{0x00, {0xA0, 0xA0, 0xA0, 0x00}},
                                         SyncCase{0xFF, {0xA7, 0xA3, 0xAF, 0xFF}}),
                         testsupport::PrintedCaseName());

TEST(SyncWordTest, WrongHighBitsAreRejected) {
    const std::uint8_t bad[4] = {0xA1, 0xA0, 0xA0, 0x00};
    EXPECT_FALSE(IsValidSyncWord(bad));
}

TEST(FrameTest, BuildFrameWritesSyncLengthAndBody) {
    SRequestData request;
    request.pBuffer = {0x02, 0x00, 0xEE}; // the trailing byte lies outside the count
    request.nLength = 2;
    const Bytes frame = BuildFrame(request, 0x5C);
    EXPECT_EQ(frame, (Bytes{0xA2, 0xA1, 0xA5, 0x5C, 0x06, 0x00, 0x00, 0x00, 0x02, 0x00}));
}

TEST(TextFieldTest, TextKeyIsDigestOfPassPhrase) {
    const auto& key = TextKey();
    const std::array<std::uint8_t, 16> expected = {0xf9, 0xdb, 0x38, 0x7b, 0xf5, 0xc4, 0x71, 0x01,
                                                   0xfc, 0xfc, 0xfa, 0x19, 0xad, 0x02, 0x7e, 0xd0};
    EXPECT_EQ(key, expected);
}

TEST(TextFieldTest, EncodesHeartbeatExactly) {
    SRequestData request;
    ASSERT_TRUE(EncodeTextCommand(request, "[PC00003]"));
    ASSERT_EQ(request.nLength, 91u);
    EXPECT_EQ(Bytes(request.pBuffer.begin(), request.pBuffer.begin() + 91), golden::kPC00003Body);
}

TEST(TextFieldTest, DecodesHeartbeat) {
    SReceiveData record;
    ReceiveBuffers buffers;
    ASSERT_EQ(ParseBody(golden::kPC00003Body.data(), golden::kPC00003Body.size(), record, buffers),
              ParseResult::kParsed);
    EXPECT_EQ(record.nType, 1);
    EXPECT_EQ(record.strCode, "[PC00003]");
    EXPECT_EQ(record.strParams, "");
}

TEST(TextFieldTest, SplitsCodeAndParameters) {
    const Bytes body = golden::TextBody("[MV00007]3,5,7");
    SReceiveData record;
    ReceiveBuffers buffers;
    ASSERT_EQ(ParseBody(body.data(), body.size(), record, buffers), ParseResult::kParsed);
    EXPECT_EQ(record.strCode, "[MV00007]");
    EXPECT_EQ(record.strParams, "3,5,7");
}

TEST(TextFieldTest, SupplementaryCharacterSurvivesRoundTrip) {
    const std::string text = "[MV00050]\xF0\x9F\x98\x80!";
    SRequestData request;
    ASSERT_TRUE(EncodeTextCommand(request, text));
    EXPECT_EQ(request.nLength, 73u + 2 * 12); // 9 + surrogate pair + 1 units
    SReceiveData record;
    ReceiveBuffers buffers;
    ASSERT_EQ(ParseBody(request.pBuffer.data(), request.nLength, record, buffers), ParseResult::kParsed);
    EXPECT_EQ(record.strParams, "\xF0\x9F\x98\x80!");
}

TEST(TextFieldTest, InvalidUtf8WritesNothing) {
    SRequestData request;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(EncodeTextCommand(request, "[PC00003]\xFF"));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(request.nLength, 0u);
}

TEST(TextFieldTest, LongTextIsNotCappedByTheUsualRequestSize) {
    const std::string text = "[PC00013]" + std::string(600, 'x');
    auto request = newRequestData(512);
    ASSERT_TRUE(EncodeTextCommand(*request, text));
    EXPECT_EQ(request->nLength, 73u + 2 * 609);
    EXPECT_GE(request->pBuffer.size(), request->nLength);
}

// Reading frames from a socket pair whose far end the test writes.
class ReceivePacketTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        ASSERT_TRUE(m_server.m_socket.Attach(m_fds[0]));
    }
    void TearDown() override {
        ::close(m_fds[0]);
        if (m_fds[1] >= 0)
            ::close(m_fds[1]);
    }
    void Feed(const Bytes& bytes) {
        ASSERT_EQ(::write(m_fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void CloseFarEnd() {
        ::close(m_fds[1]);
        m_fds[1] = -1;
    }
    SReceiveData Receive() {
        SReceiveData record;
        ReceivePacket(m_server, record, m_buffers);
        return record;
    }

    int m_fds[2] = {-1, -1};
    TCPServerInterface m_server;
    ReceiveBuffers m_buffers;
};

TEST_F(ReceivePacketTest, ScreenFormatFrameParsesAsTypeTwo) {
    Feed({0xA2, 0xA1, 0xA5, 0x5C, 0x06, 0, 0, 0, 0x02, 0x00});
    const SReceiveData record = Receive();
    EXPECT_EQ(record.nStatus, 0);
    EXPECT_EQ(record.nType, 2);
}

TEST_F(ReceivePacketTest, BadSyncWordFailsTheRead) {
    Feed({0xA1, 0xA0, 0xA0, 0x00, 0x06, 0, 0, 0, 0x02, 0x00});
    EXPECT_EQ(Receive().nStatus, -1);
}

TEST_F(ReceivePacketTest, ZeroLengthFailsTheRead) {
    Feed({0xA0, 0xA0, 0xA0, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(Receive().nStatus, -1);
}

TEST_F(ReceivePacketTest, NegativeLengthFailsTheRead) {
    Feed({0xA0, 0xA0, 0xA0, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Receive().nStatus, -1);
}

TEST_F(ReceivePacketTest, OversizedBodyEndsTheLink) {
    Bytes frame = {0xA0, 0xA0, 0xA0, 0x00};
    golden::PutU32(frame, 64u * 1024 * 1024 + 5); // one byte over the body limit
    Feed(frame);
    EXPECT_EQ(Receive().nStatus, -1);
}

TEST_F(ReceivePacketTest, FrameWithoutBodyByteIsDroppedAndReadingGoesOn) {
    // An earlier type-2 body leaves its type byte in the buffer; the empty frame must not reuse it.
    Feed(golden::Frame({0x02, 0x00}));
    EXPECT_EQ(Receive().nType, 2);
    Feed({0xA0, 0xA0, 0xA0, 0x00, 0x04, 0, 0, 0});
    SReceiveData empty = Receive();
    EXPECT_EQ(empty.nStatus, 0);
    EXPECT_EQ(empty.nType, 0);
    Feed(golden::Frame(golden::kPC00003Body));
    EXPECT_EQ(Receive().strCode, "[PC00003]");
}

TEST_F(ReceivePacketTest, UnknownTypeIsReadAndDropped) {
    Feed(golden::Frame({0x06, 1, 2, 3}));
    Feed(golden::Frame({0x0B}));
    Feed(golden::Frame({0x0E, 0}));
    for (int i = 0; i < 3; ++i) {
        const SReceiveData record = Receive();
        EXPECT_EQ(record.nStatus, 0);
        EXPECT_EQ(record.nType, 0);
    }
}

TEST_F(ReceivePacketTest, TruncatedFrameFailsAtEndOfStream) {
    Bytes frame = golden::Frame(golden::kPC00003Body);
    frame.resize(frame.size() - 10);
    Feed(frame);
    CloseFarEnd();
    EXPECT_EQ(Receive().nStatus, -1);
    EXPECT_TRUE(m_server.m_socket.IsEof());
    EXPECT_FALSE(m_server.m_socket.IsConnected());
    EXPECT_EQ(Receive().nStatus, -1); // refused at once after end of stream
}

TEST_F(ReceivePacketTest, InconsistentBodyIsDroppedAndLinkReadsOn) {
    Bytes file = {0x09};
    golden::PutU32(file, 3);
    golden::PutU32(file, 1);
    golden::PutU32(file, 0);
    golden::PutU32(file, 0xFFFFFFFF); // name length far past the body
    Feed(golden::Frame(file));
    Feed(golden::Frame(golden::kPC00003Body));
    const SReceiveData dropped = Receive();
    EXPECT_EQ(dropped.nStatus, 0);
    EXPECT_EQ(dropped.nType, 0);
    EXPECT_EQ(Receive().strCode, "[PC00003]");
}

// A file piece whose name field holds units of 'n' and whose data follows (or, with a huge name
// length, runs past the body).
Bytes FilePieceNamed(std::uint32_t nameUnits, std::uint32_t statedUnits) {
    Bytes body = {0x09};
    golden::PutU32(body, 3);
    golden::PutU32(body, 2);
    golden::PutU32(body, 1);
    golden::PutU32(body, statedUnits);
    for (std::uint32_t i = 0; i < nameUnits; ++i)
        golden::PutU16(body, 'n');
    golden::PutU32(body, 0);
    return body;
}

// A compressed screen update naming one tile 0 with a picture of imageBytes.
Bytes OneTileStrip(std::uint32_t imageBytes) {
    Bytes payload;
    golden::PutU32(payload, 0);
    golden::PutU32(payload, 1);
    golden::PutU32(payload, 0);
    golden::PutU32(payload, imageBytes);
    payload.resize(payload.size() + imageBytes, 0x11);
    uLongf zLen = compressBound(payload.size());
    Bytes z(zLen);
    EXPECT_EQ(compress(z.data(), &zLen, payload.data(), payload.size()), Z_OK);
    Bytes body = {0x0C};
    golden::PutU32(body, static_cast<std::uint32_t>(payload.size()));
    golden::PutU32(body, static_cast<std::uint32_t>(zLen));
    golden::PutU32(body, 7);
    body.insert(body.end(), z.begin(), z.begin() + static_cast<std::ptrdiff_t>(zLen));
    return body;
}

// A console repeating a fault without end writes a few lines a second of each kind, and the lines
// let through count those held back: none of the faults goes unaccounted for.
TEST_F(ReceivePacketTest, TenThousandOfEachPeerFaultWriteAFewLinesThatCountTheRest) {
    constexpr int kFaults = 10000;
    constexpr std::size_t kFewLines = 100;
    auto limits = std::make_shared<ScreenUpdateLimits>();
    limits->setGrid(4, 100); // tiles of 400 image bytes, 1628 inflated bytes a strip at most
    limits->setEncodeSize(8, 8);
    m_buffers.limits = limits;
    Bytes overGrid = {0x0C};
    golden::PutU32(overGrid, 1629);
    golden::PutU32(overGrid, 12);
    golden::PutU32(overGrid, 5);
    overGrid.resize(25, 0);
    Bytes overEncodeSize = {0x11};
    golden::PutU32(overEncodeSize, 256 + ScreenUpdateLimits::kFrameHeaderSlackBytes + 1);
    golden::PutU32(overEncodeSize, 5);
    golden::PutU32(overEncodeSize, 0);
    overEncodeSize.resize(overEncodeSize.size() + golden::GetU32(overEncodeSize, 1), 0);
    const std::vector<Bytes> bodies = {
        FilePieceNamed(1, 0xFFFFFFFF), // a piece whose sizes run past its body
        FilePieceNamed(1024, 1024),    // a piece whose name is over the limit
        overGrid,
        OneTileStrip(401), // one tile of 400 image bytes
        overEncodeSize,
    };
    const Bytes emptyFrame = {0xA0, 0xA0, 0xA0, 0x00, 0x04, 0, 0, 0};
    auto oneOfEach = [&] {
        Feed(emptyFrame);
        EXPECT_EQ(Receive().nStatus, 0);
        for (const Bytes& body : bodies) {
            SReceiveData record;
            EXPECT_EQ(ParseBody(body.data(), body.size(), record, m_buffers), ParseResult::kDropped);
        }
    };
    platform::ManualRunLoop loop;
    loop.install();
    // Lines held back by earlier cases are told here, before the count starts.
    loop.advance(1.0);
    oneOfEach();
    loop.advance(1.0);
    platform::testing::LogCapture log;
    for (int i = 0; i < kFaults; ++i)
        oneOfEach();
    loop.advance(1.0);
    oneOfEach();
    const auto lines = log.lines();
    EXPECT_LT(lines.size(), kFewLines);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "empty frame"), kFaults + 1u);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "file name of"), kFaults + 1u);
    // Both faulty pieces are refused pieces, under one limit.
    EXPECT_EQ(platform::testing::faultsLogged(lines, "file chunk"), 2u * (kFaults + 1u));
    EXPECT_EQ(platform::testing::faultsLogged(lines, "the screen allows"), kFaults + 1u);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "over four bytes a pixel"), kFaults + 1u);
    EXPECT_EQ(platform::testing::faultsLogged(lines, "frame of"), kFaults + 1u);
}

} // namespace
} // namespace transport
