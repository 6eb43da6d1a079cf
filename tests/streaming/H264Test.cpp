#include "StreamingTestSupport.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "streaming/H264Decoder.h"
#include "streaming/H264Encoder.h"
#include "streaming/Yuv420.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace streaming {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kBitrate = 2'000'000;
constexpr float kFps = 24.0f;
constexpr double kMinRoundTripPsnr = 25.0;

class LogCapture {
public:
    LogCapture() {
        platform::setLogSink([this](const std::string& line) { m_lines.push_back(line); });
    }
    ~LogCapture() { platform::setLogSink({}); }
    bool contains(const std::string& line) const {
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }
    std::size_t startingWith(const std::string& prefix) const {
        return static_cast<std::size_t>(std::count_if(
            m_lines.begin(), m_lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    const std::vector<std::string>& lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    std::vector<std::string> m_lines;
};

// A second of the main clock of its own: the rate-limited lines of earlier cases hold none back.
class FreshSecond {
public:
    FreshSecond() {
        m_loop.install();
        m_loop.advance(1.0);
    }
    platform::ManualRunLoop& loop() { return m_loop; }

private:
    platform::ManualRunLoop m_loop;
};

void drainDecodedQueue() {
    while (H264DecodeQueue::getH264DecodeData()) {
        H264DecodeQueue::removeDecodeData();
    }
    H264DecodeQueue::removeH264DecodeDataUsed();
}

// A moving picture: smooth gradients plus a block that moves with the frame number.
std::vector<std::uint8_t> i420Frame(int frameIndex) {
    PlainImage image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = image.row(y) + x * kBytesPerPixel;
            const bool inBlock = x >= 40 + frameIndex * 4 && x < 100 + frameIndex * 4 && y >= 60 && y < 120;
            p[0] = static_cast<std::uint8_t>(inBlock ? 30 : x * 255 / kWidth);
            p[1] = static_cast<std::uint8_t>(inBlock ? 200 : y * 255 / kHeight);
            p[2] = static_cast<std::uint8_t>(inBlock ? 220 : 90);
        }
    }
    return yuv420DataFromImage(image.view());
}

TEST(H264, EncodesAndDecodesBackToTheSamePicture) {
    drainDecodedQueue();
    H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
    H264Decoder decoder;
    ASSERT_NE(decoder.pDecoder(), nullptr);
    constexpr int kFrames = 5;
    std::vector<std::vector<std::uint8_t>> sources;
    int decodedFrames = 0;
    for (int i = 0; i < kFrames; ++i) {
        sources.push_back(i420Frame(i));
        const auto encoded = encoder.nativeEncode(sources.back(), kWidth, kHeight);
        ASSERT_TRUE(encoded.has_value()) << "frame " << i;
        ASSERT_FALSE(encoded->empty());
        // Annex B: every frame starts with a start code.
        EXPECT_TRUE((*encoded)[0] == 0 && (*encoded)[1] == 0 && ((*encoded)[2] == 1 || (*encoded)[3] == 1));
        const std::size_t before = H264DecodeQueue::decodedCount();
        const int result = decoder.decodeH264DataBufferList(*encoded, 0, 0);
        if (result == 0) {
            EXPECT_EQ(H264DecodeQueue::decodedCount(), before + 1);
            ++decodedFrames;
        }
    }
    ASSERT_EQ(decodedFrames, kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const auto frame = H264DecodeQueue::getH264DecodeData();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->width, kWidth);
        EXPECT_EQ(frame->height, kHeight);
        ASSERT_GE(frame->stride[0], kWidth);
        ASSERT_GE(frame->stride[1], kWidth / 2);
        EXPECT_EQ(frame->y.size(), static_cast<std::size_t>(frame->stride[0]) * kHeight);
        EXPECT_EQ(frame->u.size(), static_cast<std::size_t>(frame->stride[1]) * (kHeight / 2));
        const auto& source = sources[static_cast<std::size_t>(i)];
        EXPECT_GT(test::planePsnr(source.data(), kWidth, frame->y.data(), frame->stride[0], kWidth, kHeight),
                  kMinRoundTripPsnr);
        const std::uint8_t* sourceU = source.data() + kWidth * kHeight;
        EXPECT_GT(
            test::planePsnr(sourceU, kWidth / 2, frame->u.data(), frame->stride[1], kWidth / 2, kHeight / 2),
            kMinRoundTripPsnr);
        H264DecodeQueue::addDecodeDataUsed(frame);
        H264DecodeQueue::removeDecodeData();
    }
    EXPECT_EQ(H264DecodeQueue::getH264DecodeData(), nullptr);
    EXPECT_EQ(H264DecodeQueue::usedCount(), static_cast<std::size_t>(kFrames));
    H264DecodeQueue::removeH264DecodeDataUsed();
    EXPECT_EQ(H264DecodeQueue::usedCount(), 0u);
}

TEST(H264, EncoderRefusesFramesItCannotRead) {
    FreshSecond second;
    LogCapture log;
    H264Encoder encoder;
    EXPECT_TRUE(log.contains("[ZQ]Init H264 Encoder memory alloc"));
    const auto frame = i420Frame(0);
    EXPECT_FALSE(encoder.nativeEncode(frame, kWidth, kHeight).has_value());
    EXPECT_TRUE(log.contains("Native Encode NIL!!"));

    ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
    EXPECT_TRUE(log.contains("nativeInitEncoder Initialized with width: 320, height: 240, bitrate: 2000000, "
                             "fps: 24.000000"));
    const std::span<const std::uint8_t> all(frame);
    EXPECT_FALSE(encoder.nativeEncode(all.first(all.size() - 1), kWidth, kHeight).has_value());
    EXPECT_FALSE(encoder.nativeEncode(frame, kWidth * 2, kHeight / 2).has_value());
    EXPECT_FALSE(encoder.nativeEncode({}, kWidth, kHeight).has_value());
    EXPECT_TRUE(encoder.nativeEncode(frame, kWidth, kHeight).has_value());
}

TEST(H264, ReinitialisingReleasesTheEarlierEncoderAndForcesIdrOnce) {
    FreshSecond second;
    H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
    // A second set-up at another size replaces the first (the leak checker sees any lost encoder).
    ASSERT_EQ(encoder.initEncoder(kWidth / 2, kHeight / 2, kBitrate, kFps), 0);
    EXPECT_EQ(encoder.getEncoderWidth(), kWidth / 2);
    EXPECT_EQ(encoder.getEncoderHeight(), kHeight / 2);
    ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(encoder.nativeEncode(i420Frame(i), kWidth, kHeight).has_value());
    }
    LogCapture log;
    encoder.setNeedIDRPacket(true);
    const auto forced = encoder.nativeEncode(i420Frame(3), kWidth, kHeight);
    ASSERT_TRUE(forced.has_value());
    EXPECT_TRUE(log.contains("[ZQ]Force IDR Packet true"));
    EXPECT_FALSE(encoder.needIDRPacket());
    // The forced frame carries an IDR slice (NAL type 5).
    bool idr = false;
    for (std::size_t i = 0; i + 4 < forced->size(); ++i) {
        if ((*forced)[i] == 0 && (*forced)[i + 1] == 0 && (*forced)[i + 2] == 1 &&
            ((*forced)[i + 3] & 0x1F) == 5) {
            idr = true;
        }
    }
    EXPECT_TRUE(idr);
    encoder.releaseEncoder();
    EXPECT_FALSE(encoder.hasEncoder());
    encoder.releaseEncoder();
    EXPECT_FALSE(encoder.nativeEncode(i420Frame(0), kWidth, kHeight).has_value());
}

// Every "[MV00004]" or "[MV00264]true" of the console sets the encoder up again for a new stream
// and forces a key frame: a hundred of them write a few lines a second of each kind.
TEST(H264, SetUpsForEveryNewStreamAreLoggedAFewTimesASecond) {
    constexpr int kStreams = 100;
    constexpr int kSide = 64;
    constexpr std::size_t kFewLines = 5;
    FreshSecond second;
    LogCapture log;
    H264Encoder encoder;
    PlainImage image(kSide, kSide);
    const std::vector<std::uint8_t> frame = yuv420DataFromImage(image.view());
    for (int i = 0; i < kStreams; ++i) {
        ASSERT_EQ(encoder.initEncoder(kSide, kSide, kBitrate, kFps), 0);
        encoder.setNeedIDRPacket(true);
        ASSERT_TRUE(encoder.nativeEncode(frame, kSide, kSide).has_value());
    }
    EXPECT_LE(log.startingWith("nativeInitEncoder Encoder set"), kFewLines);
    EXPECT_LE(log.startingWith("nativeInitEncoder encoder created"), kFewLines);
    EXPECT_LE(log.startingWith("nativeInitEncoder Initialized"), kFewLines);
    EXPECT_LE(log.startingWith("[ZQ]Force IDR Packet true"), kFewLines);
    EXPECT_GE(log.startingWith("[ZQ]Force IDR Packet true"), 1u);
}

TEST(H264, DecoderSurvivesGarbageAndQueuesNothing) {
    drainDecodedQueue();
    H264Decoder decoder;
    std::vector<std::uint8_t> garbage(4096);
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    garbage[0] = 0;
    garbage[1] = 0;
    garbage[2] = 0;
    garbage[3] = 1;
    EXPECT_NE(decoder.decodeH264DataBufferList(garbage, 0, 0), 0);
    EXPECT_EQ(decoder.decodeH264DataBufferList({}, 0, 0), -1);
    EXPECT_EQ(H264DecodeQueue::decodedCount(), 0u);
    decoder.destroyDecoder();
    EXPECT_EQ(decoder.pDecoder(), nullptr);
    EXPECT_EQ(decoder.decodeH264DataBufferList(garbage, 0, 0), -1);
}

// The library codes an odd-sized set-up at the even size below it; it must read only the planes
// of the buffer it was given (the address checker watches), and the decoder keeps every chroma row.
TEST(H264, OddSizedFramesStayInsideTheirBuffer) {
    drainDecodedQueue();
    constexpr int kOddWidth = kWidth + 1;
    constexpr int kOddHeight = kHeight - 1;
    H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(kOddWidth, kOddHeight, kBitrate, kFps), 0);
    std::vector<std::uint8_t> frame(i420Size(kOddWidth, kOddHeight), 128);
    const auto encoded = encoder.nativeEncode(frame, kOddWidth, kOddHeight);
    ASSERT_TRUE(encoded.has_value());
    H264Decoder decoder;
    ASSERT_EQ(decoder.decodeH264DataBufferList(*encoded, 0, 0), 0);
    const auto decoded = H264DecodeQueue::getH264DecodeData();
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->height & ~1, kOddHeight & ~1);
    EXPECT_EQ(decoded->u.size(), static_cast<std::size_t>(decoded->stride[1]) * chromaRows(decoded->height));
    EXPECT_EQ(decoded->v.size(), decoded->u.size());
    drainDecodedQueue();
}

// A viewer that stalls must not let decoded frames pile up: the queue keeps the newest ones.
TEST(H264, DecodedQueueKeepsTheNewestFramesUpToItsBound) {
    drainDecodedQueue();
    constexpr std::size_t kExtra = 5;
    for (std::size_t i = 0; i < H264DecodeQueue::kMaxDecodedFrames + kExtra; ++i) {
        auto frame = std::make_shared<H264DecodeData>();
        frame->width = static_cast<int>(i);
        H264DecodeQueue::addYUVdata(std::move(frame));
    }
    EXPECT_EQ(H264DecodeQueue::decodedCount(), H264DecodeQueue::kMaxDecodedFrames);
    for (std::size_t i = kExtra; i < H264DecodeQueue::kMaxDecodedFrames + kExtra; ++i) {
        auto oldest = H264DecodeQueue::getH264DecodeData();
        ASSERT_TRUE(oldest);
        EXPECT_EQ(oldest->width, static_cast<int>(i));
        H264DecodeQueue::removeDecodeData();
    }
    EXPECT_EQ(H264DecodeQueue::getH264DecodeData(), nullptr);
}

// The library's complaints (an odd picture size, a broken stream) reach the agent's log, once per
// run of the same complaint, and never standard error.
TEST(H264, LibraryWarningsGoToTheLogNotToStandardError) {
    drainDecodedQueue();
    FreshSecond second;
    LogCapture log;
    testing::internal::CaptureStderr();
    {
        H264Encoder encoder;
        ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
        std::vector<std::uint8_t> garbage(4096, 0x5a);
        garbage[3] = 1;
        H264Decoder decoder;
        for (int i = 0; i < 3; ++i) {
            decoder.decodeH264DataBufferList(garbage, 0, 0);
        }
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    EXPECT_GE(log.startingWith("[ZQ]H264 library (warning): "), 1u);
    drainDecodedQueue();
}

// Broken parameter sets make the library complain in words that change from unit to unit (the level
// it read), which the repeat filter cannot fold: 10,000 of them write a few lines a second.
TEST(H264, LibraryComplaintsThatChangeFromUnitToUnitAreLoggedAFewTimesASecond) {
    constexpr int kUnits = 10'000;
    constexpr std::size_t kFewLines = 5;
    constexpr std::size_t kUnitBytes = 64;
    constexpr std::uint8_t kStartCodeAndParameterSet[] = {0, 0, 0, 1, 0x67};
    drainDecodedQueue();
    platform::ManualRunLoop loop;
    loop.install();
    loop.advance(1.0);
    LogCapture log;
    H264Decoder decoder;
    std::mt19937 noise(1);
    std::vector<std::uint8_t> unit(kUnitBytes);
    for (int i = 0; i < kUnits; ++i) {
        for (std::uint8_t& byte : unit)
            byte = static_cast<std::uint8_t>(noise());
        std::copy(std::begin(kStartCodeAndParameterSet), std::end(kStartCodeAndParameterSet), unit.begin());
        decoder.decodeH264DataBufferList(unit, 0, 0);
    }
    const std::size_t written = log.startingWith("[ZQ]H264 library (");
    EXPECT_GE(written, 1u);
    EXPECT_LE(written, kFewLines);
    drainDecodedQueue();
}

// The console can send units the decoder cannot use without end: 10,000 of each kind write a few
// lines a second of the main clock, and the next line let through counts the rest.
TEST(H264, UnitsThatDecodeToNothingAreLoggedAFewTimesASecond) {
    constexpr std::size_t kUnits = 10'000;
    constexpr std::size_t kFewLines = 5;
    drainDecodedQueue();
    H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(kWidth, kHeight, kBitrate, kFps), 0);
    const auto keyFrame = encoder.nativeEncode(i420Frame(0), kWidth, kHeight);
    ASSERT_TRUE(keyFrame.has_value());
    // The key frame's first unit, its sequence parameters, completes no picture.
    std::size_t next = 4;
    while (next + 4 < keyFrame->size() && !((*keyFrame)[next] == 0 && (*keyFrame)[next + 1] == 0 &&
                                            (*keyFrame)[next + 2] == 0 && (*keyFrame)[next + 3] == 1))
        ++next;
    const std::vector<std::uint8_t> parametersOnly(keyFrame->begin(), keyFrame->begin() + next);
    // After a good key frame, a key-picture slice of noise.
    std::vector<std::uint8_t> brokenSlice(4096);
    for (std::size_t i = 0; i < brokenSlice.size(); ++i)
        brokenSlice[i] = static_cast<std::uint8_t>(i * 131 + 7);
    constexpr std::uint8_t kStartCodeAndKeySlice[] = {0, 0, 0, 1, 0x65};
    std::copy(std::begin(kStartCodeAndKeySlice), std::end(kStartCodeAndKeySlice), brokenSlice.begin());
    struct Case {
        const char* line;
        std::vector<std::uint8_t> unit;
    };
    const Case cases[] = {
        {"Decoding incomplete", parametersOnly},
        {"Bitstream error detected", brokenSlice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        platform::ManualRunLoop loop;
        loop.install();
        LogCapture log;
        H264Decoder decoder;
        decoder.decodeH264DataBufferList(*keyFrame, 0, 0);
        // Whatever an earlier decoder left held back is reported here, before the count starts.
        decoder.decodeH264DataBufferList(c.unit, 0, 0);
        loop.advance(1.0);
        log.clear();
        for (std::size_t i = 0; i < kUnits; ++i)
            decoder.decodeH264DataBufferList(c.unit, 0, 0);
        const std::size_t written = log.startingWith(c.line);
        EXPECT_GE(written, 1u);
        EXPECT_LE(written, kFewLines);
        EXPECT_LE(log.lines().size(), kFewLines * 2) << "lines of any kind";
        loop.advance(1.0);
        decoder.decodeH264DataBufferList(c.unit, 0, 0);
        ASSERT_EQ(log.startingWith(c.line), written + 1);
        EXPECT_NE(
            log.lines().back().find("(" + std::to_string(kUnits - written) + " more like it held back)"),
            std::string::npos)
            << log.lines().back();
        drainDecodedQueue();
    }
}

} // namespace
} // namespace streaming
