// Screen updates into the persistent canvas: the mode read from the settings, strips cut into
// their tiles, tiles never received left transparent, refused lists and refused pictures (a JPEG
// whose header claims 30000 x 30000 is refused before decoding), and the bounded waiting lists: an
// H.264 list that overflows resumes at the next key frame of our own encoder's stream.
#include "ViewerTestSupport.h"
#include "client/ArchivedRecords.h"
#include "client/SettingsKeys.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/PlatformTestSupport.h"
#include "platform/UserDefaults.h"
#include "streaming/H264Encoder.h"
#include "viewer/H264NalScan.h"
#include "viewer/PendingUpdates.h"
#include "viewer/ScreenShareModel.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace viewer {
namespace {

using namespace viewertest;
namespace keys = client::settings;

class StripComposition : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings = platform::UserDefaults::suite();
        platform::setLogSink([this](const std::string& line) { m_log.push_back(line); });
    }
    void TearDown() override { platform::setLogSink({}); }

    // 480 x 270 in answer mode: 4 x 2 tiles of 120 x 135; in share mode 16 x 2 of 30 x 135.
    void open(const char* mode, int width = 480, int height = 270) {
        m_settings->setString(keys::kCanvasWidth, std::to_string(width));
        m_settings->setString(keys::kCanvasHeight, std::to_string(height));
        m_settings->setString(keys::kScreenInit, mode);
        m_model.initCanvas(*m_settings);
    }
    Pixel at(int x, int y) { return pixelAt(m_model.canvas().image(), x, y); }
    bool logged(const std::string& part) const {
        return std::any_of(m_log.begin(), m_log.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

    std::shared_ptr<platform::UserDefaults> m_settings;
    ScreenShareModel m_model;
    std::vector<std::string> m_log;
};

TEST_F(StripComposition, TheModeKeyIsReadOnce) {
    struct Case {
        const char* value;
        bool answer, share;
        const char* after;
    };
    for (const Case& c : {Case{"1", true, false, "-1"}, Case{"2", false, true, "-1"},
                          Case{"-1", false, false, "-1"}, Case{"3", false, false, "3"}}) {
        open(c.value);
        EXPECT_EQ(m_model.getAnswerEnabled(), c.answer) << c.value;
        EXPECT_EQ(m_model.getScreenShareEnabled(), c.share) << c.value;
        EXPECT_EQ(m_settings->stringValue(keys::kScreenInit), c.after);
    }
}

TEST_F(StripComposition, StripsFillTheirTilesAndTilesNeverReceivedStayTransparent) {
    open("1");
    ASSERT_EQ(m_model.canvas().width(), 480);
    // Tiles 5 (row 1, column 1) and 2 (row 0, column 2), side by side in the strip in list order;
    // a PNG (decoded through Qt) keeps its colours exactly to the tiles' edges.
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(pngStrip({kRed, kGreen}, 120, 135), {5, 2})));
    EXPECT_TRUE(near(at(120, 135), kRed, 0));
    EXPECT_TRUE(near(at(239, 269), kRed, 0));
    EXPECT_TRUE(near(at(240, 0), kGreen, 0));
    EXPECT_TRUE(near(at(359, 134), kGreen, 0));
    for (auto [x, y] : {std::pair{0, 0}, {119, 134}, {360, 0}, {479, 269}, {0, 135}, {240, 135}})
        EXPECT_EQ(at(x, y).a, 0) << x << "," << y;
    // JPEG decodes through TurboJPEG.
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kBlue}, 120, 135), {0})));
    EXPECT_TRUE(near(at(60, 60), kBlue));
    EXPECT_TRUE(m_model.answerGrid().tile(0).m_bInit);
    EXPECT_FALSE(m_model.answerGrid().tile(1).m_bInit);
}

// A JPEG header the library cannot read leaves its decoder answering with that error ever after
// unless the decoder starts afresh: the strips after it, straight into the canvas or apart, are
// drawn.
TEST_F(StripComposition, AStripWithAnUnreadableHeaderLeavesTheNextStripsDrawn) {
    const std::vector<std::uint8_t> noHeader = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02}; // a bogus marker length
    open("1");
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(noHeader, {0})));
    EXPECT_EQ(at(60, 60).a, 0);
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kRed}, 120, 135), {0})));
    EXPECT_TRUE(near(at(60, 60), kRed));
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(noHeader, {1})));
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kBlue}, 120, 135), {5})));
    EXPECT_TRUE(near(at(180, 200), kBlue));
}

// Broken PNG strips, as many as a console cares to send: nothing on standard error (the student's
// terminal or session log), a few held-back lines in the agent's log, and the next PNG drawn.
TEST_F(StripComposition, BrokenPngStripsWriteNothingToStandardError) {
    constexpr int kBrokenStrips = 100;
    constexpr std::size_t kFewLines = 6;
    std::vector<std::uint8_t> crcBroken = pngStrip({kRed}, 120, 135);
    ASSERT_GT(crcBroken.size(), 64u);
    for (std::size_t i = 40; i < crcBroken.size() - 20; ++i)
        crcBroken[i] ^= 0x5A;
    std::vector<std::uint8_t> truncated = pngStrip({kRed}, 120, 135);
    truncated.resize(truncated.size() / 2);
    open("1");
    m_log.clear();
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    std::FILE* errors = std::tmpfile();
    ::dup2(::fileno(errors), STDERR_FILENO);
    for (int i = 0; i < kBrokenStrips; ++i) {
        EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(crcBroken, {0})));
        EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(truncated, {1})));
    }
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    const long written = std::ftell(errors) >= 0 ? (std::fseek(errors, 0, SEEK_END), std::ftell(errors)) : -1;
    std::fclose(errors);
    EXPECT_EQ(written, 0) << "bytes on standard error";
    EXPECT_LE(std::count_if(m_log.begin(), m_log.end(),
                            [](const std::string& l) { return l.find("undecodable") != std::string::npos; }),
              static_cast<std::ptrdiff_t>(kFewLines));
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(pngStrip({kGreen}, 120, 135), {0})));
    EXPECT_TRUE(near(at(60, 60), kGreen, 0));
}

TEST_F(StripComposition, UpdatesDecodedTogetherLandInTheOrderReceived) {
    open("1");
    std::vector<platform::Bytes> batch;
    for (const Rgb& c : {kRed, kGreen, kBlue, kYellow, kRed, kBlue})
        batch.push_back(updateArchive(jpegStrip({c, c}, 120, 135), {0, 7}));
    batch.push_back(updateArchive(jpegStrip({kGreen}, 120, 135), {3}));
    EXPECT_TRUE(m_model.applyScreenUpdates(batch));
    EXPECT_TRUE(near(at(60, 60), kBlue)); // the last of six writes to tile 0
    EXPECT_TRUE(near(at(420, 200), kBlue));
    EXPECT_TRUE(near(at(420, 60), kGreen));
}

// Strips naming a row of neighbouring tiles are decoded straight into the canvas, others apart;
// in one batch both kinds land as received, and a strip's padding or missing picture still clips
// or clears exactly its own tiles.
TEST_F(StripComposition, StripsDecodedInPlaceOrApartLandAsReceived) {
    open("1"); // 4 x 2 tiles of 120 x 135
    struct Update {
        std::vector<std::uint8_t> bitmap;
        std::vector<std::uint32_t> tiles;
    };
    struct Expect {
        int tile;
        Rgb colour;
    };
    struct Batch {
        std::vector<Update> updates;
        std::vector<Expect> expected;
        std::vector<int> transparent;
    };
    const Batch batches[] = {
        {{
             {jpegStrip({kBlue}, 128, 144), {2}},             // padded by the coder: apart
             {jpegStrip({kRed, kGreen}, 120, 135), {1, 2}},   // neighbours in row 0, after it
             {jpegStrip({kYellow, kBlue}, 120, 135), {6, 5}}, // right to left: apart
             {{'n', 'o'}, {7}},                               // no picture
         },
         {{1, kRed}, {2, kGreen}, {5, kBlue}, {6, kYellow}},
         {0, 3, 4, 7}},
        {{
             {jpegStrip({kGreen, kRed}, 120, 135), {3, 4}}, // row 0 end, row 1 start
             {jpegStrip({kBlue}, 128, 144), {0}},           // padded, clipped to its tile
         },
         {{0, kBlue}, {3, kGreen}, {4, kRed}},
         {7}},
    };
    for (const Batch& batch : batches) {
        std::vector<platform::Bytes> archives;
        for (const Update& u : batch.updates)
            archives.push_back(updateArchive(u.bitmap, u.tiles));
        EXPECT_TRUE(m_model.applyScreenUpdates(archives));
        for (const Expect& e : batch.expected) {
            const int left = (e.tile % 4) * 120;
            const int top = (e.tile / 4) * 135;
            for (auto [dx, dy] : {std::pair{0, 0}, {119, 134}, {60, 67}})
                EXPECT_TRUE(near(at(left + dx, top + dy), e.colour))
                    << "tile " << e.tile << " +" << dx << "," << dy;
        }
        for (int tile : batch.transparent)
            EXPECT_EQ(at((tile % 4) * 120 + 60, (tile / 4) * 135 + 67).a, 0) << "tile " << tile;
    }
    EXPECT_TRUE(m_model.answerGrid().tile(1).m_bInit);
}

TEST_F(StripComposition, AListNamingATileBeyondTheGridChangesNoTile) {
    open("1");
    EXPECT_FALSE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kRed, kGreen}, 120, 135), {3, 8})));
    EXPECT_TRUE(logged("[ZQ]error"));
    EXPECT_EQ(at(400, 10).a, 0); // tile 3 untouched
    EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kYellow}, 120, 135), {3})));
    EXPECT_TRUE(near(at(400, 10), kYellow));

    // One tile named more often than the grid has tiles: each repeat would be a whole tile write.
    EXPECT_FALSE(m_model.applyScreenUpdate(
        updateArchive(jpegStrip({kRed}, 120, 135), std::vector<std::uint32_t>(9, 3))));
    EXPECT_TRUE(near(at(400, 10), kYellow));

    open("2"); // share: 16 x 2 tiles of 30 x 135
    EXPECT_FALSE(m_model.applyScreenUpdate(updateArchive(jpegStrip({kRed}, 30, 135), {32})));
    EXPECT_TRUE(logged("error1 32 32"));
    EXPECT_FALSE(m_model.applyScreenUpdate(
        updateArchive(jpegStrip({kRed}, 30, 135), std::vector<std::uint32_t>(33, 0))));
    EXPECT_TRUE(logged("error1 33 32"));
    EXPECT_EQ(at(15, 10).a, 0); // tile 0 untouched
}

// A console can resend a refused strip without end: 10,000 of them, in either mode, refused by
// their tile list or as pictures, write a few lines a second of the main clock, and the next line
// let through counts the rest.
TEST_F(StripComposition, RefusedStripsAreLoggedAFewTimesASecond) {
    constexpr std::size_t kStrips = 10'000;
    constexpr std::size_t kFewLines = 5;
    platform::ManualRunLoop loop;
    loop.install();
    struct Case {
        const char* mode;
        const char* line;
        platform::Bytes update;
        bool drawn; // the tiles it names are written, transparent, where the picture is refused
    };
    const std::vector<std::uint8_t> noHeader = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02}; // a bogus marker length
    const std::vector<std::uint8_t> noPicture = {'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    const Case cases[] = {
        {"1", "[ZQ]error", updateArchive(jpegStrip({kRed}, 120, 135), {8}), false},
        {"2", "error1 32 32", updateArchive(jpegStrip({kRed}, 30, 135), {32}), false},
        {"1", "refused for tiles", updateArchive(jpegStrip({kRed, kRed}, 120, 135), {0}), true},
        {"1", "Strip picture of format", updateArchive(noPicture, {0}), true},
        {"1", "Strip JPEG header unreadable", updateArchive(noHeader, {0}), true},
    };
    const auto linesWith = [this](const std::string& part) {
        return static_cast<std::size_t>(std::count_if(m_log.begin(), m_log.end(), [&](const std::string& l) {
            return l.find(part) != std::string::npos;
        }));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        open(c.mode);
        // Whatever was held back before is reported here, before the count starts.
        m_model.applyScreenUpdate(c.update);
        loop.advance(1.0);
        m_log.clear();
        for (std::size_t i = 0; i < kStrips; ++i)
            EXPECT_EQ(m_model.applyScreenUpdate(c.update), c.drawn);
        const std::size_t written = linesWith(c.line);
        EXPECT_GE(written, 1u);
        EXPECT_LE(m_log.size(), kFewLines);
        loop.advance(1.0);
        m_model.applyScreenUpdate(c.update);
        ASSERT_EQ(linesWith(c.line), written + 1);
        EXPECT_NE(m_log.back().find("(" + std::to_string(kStrips - written) + " more like it held back)"),
                  std::string::npos)
            << m_log.back();
    }
}

// A small JPEG whose frame header is rewritten to claim width x height.
std::vector<std::uint8_t> jpegClaiming(int width, int height) {
    std::vector<std::uint8_t> jpeg = jpegStrip({kRed}, 16, 16);
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) { // start of frame: length, precision, height, width
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST_F(StripComposition, PicturesLargerThanTheirTilesAreRefusedBeforeDecoding) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bitmap;
        std::vector<std::uint32_t> tiles;
    };
    const Case cases[] = {
        {"header claims 30000x30000", jpegClaiming(30000, 30000), {0}},
        {"three tiles wide for one tile", jpegStrip({kRed, kRed, kRed}, 120, 135), {0}},
        {"twice as tall", jpegStrip({kRed}, 120, 270), {0}},
        {"PNG three tiles wide", pngStrip({kRed, kRed, kRed}, 120, 135), {0}},
        {"a vector picture",
         bytesOf("<svg xmlns='http://www.w3.org/2000/svg' width='120' height='135'>"
                 "<rect width='120' height='135' fill='red'/></svg>"),
         {0}},
    };
    // Each refusal is the first of its second, so the limit of its kind lets its line through.
    platform::ManualRunLoop loop;
    loop.install();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        loop.advance(1.0);
        open("1");
        m_log.clear();
        // The tiles it names are written as having no picture: transparent.
        EXPECT_TRUE(m_model.applyScreenUpdate(updateArchive(c.bitmap, c.tiles)));
        EXPECT_TRUE(logged("refused")) << (m_log.empty() ? "" : m_log.back());
        EXPECT_EQ(at(10, 10).a, 0);
    }
    // A strip within the slack of its tiles is taken (coders pad to their block size).
    StripDecoder decoder;
    const auto padded = jpegStrip({kRed}, 128, 144);
    EXPECT_FALSE(decoder.decode(padded, {120, 135}).isEmpty());
    EXPECT_TRUE(decoder.decode(jpegClaiming(30000, 30000), {30000, 30000}).isEmpty()); // over the pixel cap
}

// Collects the log lines holding a text, on a virtual clock (the drop log is limited per second).
class DropLog {
public:
    explicit DropLog(std::string text) : m_text(std::move(text)) {
        loop.install();
        platform::setLogSink([this](const std::string& line) {
            if (line.find(m_text) != std::string::npos)
                lines.push_back(line);
        });
    }
    ~DropLog() { platform::setLogSink({}); }
    platform::ManualRunLoop loop;
    std::vector<std::string> lines;

private:
    std::string m_text;
};

TEST(PendingUpdatesTest, TheWaitingListKeepsTheNewestWithinItsBounds) {
    DropLog log("oldest dropped");
    PendingUpdates list("Screen update", 4, 100);
    for (std::uint8_t i = 0; i < 10; ++i)
        list.append(platform::Bytes(10, i));
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.dropped(), 6u);
    EXPECT_EQ(log.lines.size(), 1u) << "six drops in one second, one line";
    EXPECT_EQ(list.take()->front(), 6);
    log.loop.advance(1.0);
    list.append(platform::Bytes(95, 42)); // over the byte bound: older ones make room
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_NE(log.lines[1].find("held back"), std::string::npos) << log.lines[1];
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list.take()->front(), 42);
    EXPECT_FALSE(list.take());
}

// Updates named by their tiles: over the entry bound only the updates a later one repaints wholly
// go; over the byte bound the oldest goes too, and its tiles are logged as lost.
TEST(PendingUpdatesTest, OnlySupersededUpdatesGoUnlessTheByteBoundForcesOne) {
    DropLog log("tiles lost");
    // Each entry's first byte names its tiles: tile b, and tile b + 1 when the second byte is 1.
    auto names = [](std::span<const std::uint8_t> e) {
        std::vector<std::int32_t> tiles{e[0]};
        if (e[1] == 1)
            tiles.push_back(e[0] + 1);
        return tiles;
    };
    PendingUpdates list("Screen update", 3, 1000, {}, names);
    list.append(platform::Bytes{1, 1, 0});    // tiles 1, 2
    list.append(platform::Bytes{5, 0, 0});    // tile 5
    list.append(platform::Bytes{2, 0, 0});    // tile 2: the first still holds tile 1's last picture
    list.append(platform::Bytes{5, 0, 0, 0}); // tile 5 again: the second is superseded
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.dropped(), 1u);
    EXPECT_TRUE(log.lines.empty());
    list.append(platform::Bytes(997, 9)); // over the byte bound: the older ones must go
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("tiles lost: 1 2 2 5"), std::string::npos) << log.lines[0];
    EXPECT_EQ(list.take()->front(), 9) << "every older entry made room for the newest";
}

// A console whose strips outrun the viewer loses tiles at every strip: a few lines a second name
// them, the next line let through counting the rest.
TEST(PendingUpdatesTest, TilesLostAtEveryStripAreLoggedAFewTimesASecond) {
    constexpr int kStrips = 10'000;
    constexpr std::size_t kFewLines = 3;
    DropLog log("tiles lost");
    auto names = [](std::span<const std::uint8_t> e) { return std::vector<std::int32_t>{e[0]}; };
    PendingUpdates list("Screen update", 3, 1000, {}, names);
    for (int i = 0; i < kStrips; ++i)
        list.append(platform::Bytes(600, static_cast<std::uint8_t>(i % 2))); // two never fit
    EXPECT_EQ(list.size(), 1u);
    EXPECT_LE(log.lines.size(), kFewLines);
    log.loop.advance(1.0);
    list.append(platform::Bytes(600, 7));
    EXPECT_EQ(platform::testing::faultsLogged(log.lines, "tiles lost"), kStrips + 0u);
}

TEST(PendingUpdatesTest, AnOverflowingH264ListResumesAtTheNextKeyFrame) {
    DropLog log("waiting for a key frame");
    constexpr int kSide = 64;
    streaming::H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(kSide, kSide, 1000000, 24.0f), 0);
    std::int32_t seq = 0;
    // One archived frame of a moving picture; a forced key frame when asked.
    auto encode = [&](bool key) {
        std::vector<std::uint8_t> i420(kSide * kSide * 3 / 2);
        for (std::size_t i = 0; i < i420.size(); ++i)
            i420[i] = static_cast<std::uint8_t>(i * 7 + seq * 13);
        encoder.setNeedIDRPacket(key);
        auto frame = encoder.nativeEncode(i420, kSide, kSide).value_or(std::vector<std::uint8_t>{});
        EXPECT_FALSE(frame.empty());
        ++seq;
        return client::H264Sample()
            .h264Data(frame.data(), static_cast<std::int32_t>(frame.size()), seq)
            .archive();
    };
    PendingUpdates list("H264 frame", 4, 1u << 20, archiveBeginsDecodableStream);
    list.append(encode(false)); // the stream's first frame is a key frame
    for (int i = 0; i < 3; ++i)
        list.append(encode(false));
    ASSERT_TRUE(archiveBeginsDecodableStream(*list.take()));
    ASSERT_FALSE(archiveBeginsDecodableStream(*list.take()));
    for (int i = 0; i < 3 + 4; ++i) // past the bound, then more predicted frames
        list.append(encode(false));
    EXPECT_EQ(list.size(), 0u) << "predicted frames with a lost reference must not reach the decoder";
    list.append(encode(true));
    list.append(encode(false));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.dropped(), 9u);
    EXPECT_EQ(log.lines.size(), 1u);

    const auto resumed = client::H264Sample::unarchive(*list.take());
    ASSERT_TRUE(resumed);
    const auto types = nalUnitTypes({resumed->getH264(), static_cast<std::size_t>(resumed->getH264Size())});
    EXPECT_EQ(std::count(types.begin(), types.end(), kNalSequenceParameterSet), 1);
    EXPECT_EQ(std::count(types.begin(), types.end(), kNalPictureParameterSet), 1);
    EXPECT_EQ(std::count(types.begin(), types.end(), kNalIdrSlice), 1);
    EXPECT_FALSE(archiveBeginsDecodableStream(*list.take()));
    EXPECT_FALSE(archiveBeginsDecodableStream(platform::Bytes{1, 2, 3})); // not an archive
}

TEST(H264NalScanTest, FindsUnitTypesBehindStartCodesOnly) {
    using B = std::vector<std::uint8_t>;
    const struct {
        const char* what;
        B bytes;
        B types;
        bool key;
    } cases[] = {
        {"empty", {}, {}, false},
        {"no start code", {0x65, 0x88, 0x84, 0x00}, {}, false},
        {"four- and three-byte codes",
         {0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xce, 0, 0, 1, 0x65, 0x88},
         {7, 8, 5},
         true},
        {"predicted slice", {0, 0, 0, 1, 0x41, 0x9a}, {1}, false},
        {"header byte last", {0, 0, 1, 0x65}, {5}, true},
        {"start code at the end", {0, 0, 1, 0x41, 0x9a, 0, 0, 1}, {1}, false},
        {"four-byte code cut short", {0, 0, 0, 1}, {}, false},
        {"three bytes cut short", {0, 0}, {}, false},
        {"forbidden bit set", {0, 0, 1, 0xe5, 0x00}, {}, false},
    };
    for (const auto& c : cases) {
        // A copy of its own size, so that a read past the end is caught by the sanitizer.
        const B bytes = c.bytes;
        EXPECT_EQ(nalUnitTypes(bytes), c.types) << c.what;
        EXPECT_EQ(beginsDecodableStream(bytes), c.key) << c.what;
    }
}

} // namespace
} // namespace viewer
