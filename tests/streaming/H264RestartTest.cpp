// The H.264 live view across restarts, on both capture objects against a scripted console: a live
// view stopped and started again, and H.264 switched off and on, each open a new stream with
// "[PC00609]" and a key frame that a fresh decoder decodes; an encoder that cannot be set up is
// tried once per start, not on every frame.
#include "platform/PlatformTestSupport.h"
#include "streaming/H264Decoder.h"
#include "streaming/H264Encoder.h"
#include "support/CaptureFixture.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace streaming::test {
namespace {

constexpr std::uint8_t kH264Type = 17;
constexpr std::uint8_t kScreenImageType = 7;
// The pause after "[PC00609]" that gives the console time to set its decoder up.
constexpr double kAnnouncePauseSeconds = 0.6;

enum class Path { Processor, Daemon };

std::string pathName(const ::testing::TestParamInfo<Path>& info) {
    return info.param == Path::Processor ? "Processor" : "Daemon";
}

// An encoder the library would refuse: counts the set-ups asked of it.
class RefusedEncoder : public H264Encoder {
public:
    explicit RefusedEncoder(std::shared_ptr<std::atomic<int>> setUps) : m_setUps(std::move(setUps)) {}
    int initEncoder(int, int, int, float) override {
        ++*m_setUps;
        return -1;
    }

private:
    std::shared_ptr<std::atomic<int>> m_setUps;
};

// A working encoder that notes how it was set up, and how many announce pauses the capture queue
// had taken by then.
class RecordingEncoder : public H264Encoder {
public:
    struct SetUp {
        int width = 0;
        int height = 0;
        int bitrate = 0;
        float fps = 0.0f;
        std::size_t pausesBefore = 0;
    };
    struct Log {
        std::mutex lock;
        std::vector<SetUp> setUps;
    };
    RecordingEncoder(std::shared_ptr<Log> log, const platform::ManualRunLoop& loop)
        : m_log(std::move(log)), m_loop(loop) {}
    int initEncoder(int width, int height, int bitrate, float fps) override {
        const std::vector<double> sleeps = m_loop.workerSleeps();
        const auto pauses =
            static_cast<std::size_t>(std::count(sleeps.begin(), sleeps.end(), kAnnouncePauseSeconds));
        {
            std::lock_guard guard(m_log->lock);
            m_log->setUps.push_back({width, height, bitrate, fps, pauses});
        }
        return H264Encoder::initEncoder(width, height, bitrate, fps);
    }

private:
    std::shared_ptr<Log> m_log;
    const platform::ManualRunLoop& m_loop;
};

class H264Restart : public CaptureFixture, public ::testing::WithParamInterface<Path> {
protected:
    void TearDown() override {
        CaptureFixture::TearDown();
        m_console.reset();
        client::StudentClient::setEncoderFactory([] { return std::make_shared<H264Encoder>(); });
        drainQueue();
    }

    static void drainQueue() {
        while (H264DecodeQueue::getH264DecodeData()) {
            H264DecodeQueue::removeDecodeData();
        }
    }

    // A direct session with H.264 selected and the live view on; encoders from `factory` when given
    // (the capture object installs its own factory as it starts).
    void startH264LiveView(client::StudentClient::EncoderFactory factory = nullptr) {
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setVersion("2011057");
        m_console->setFreeSlots(std::nullopt);
        ASSERT_TRUE(m_console->start());
        useDirectConsole(m_console->port());
        GetParam() == Path::Processor ? startProcessor() : startDaemon();
        if (factory) {
            client::StudentClient::setEncoderFactory(std::move(factory));
        }
        login();
        ASSERT_TRUE(m_console->waitForLinks(1));
        m_client = client::gStudentClient();
        ASSERT_TRUE(m_client);
        send("[MV00001]160,120,0,40");
        ASSERT_TRUE(eventually([&] { return m_client->getRefreshDelay() == 0; }));
        setH264(true);
        send("[MV00004]");
        ASSERT_TRUE(eventually([&] { return m_client->getRemoteView(); }));
    }

    // Sends a command and waits until the link handled it (the next marker took effect).
    void send(const std::string& text) {
        m_console->sendText(text);
        m_console->sendText("[MV00014]" + std::to_string(++m_marker));
        ASSERT_TRUE(
            eventually([&] { return m_client->getfQuality() == static_cast<float>(m_marker / 100.0); }));
    }
    void setH264(bool on) { send(on ? "[MV00264]true" : "[MV00264]false"); }

    // Waits until every H.264 frame sent so far has arrived; answers how many packets came in all.
    std::size_t settle() {
        const auto h264Count = [&] {
            const auto packets = m_console->received();
            return static_cast<std::int32_t>(std::count_if(packets.begin(), packets.end(), [](const auto& p) {
                return !p.text && p.payloadType() == kH264Type;
            }));
        };
        EXPECT_TRUE(eventually([&] { return h264Count() == m_client->getH264DrawSeq(); }));
        return m_console->received().size();
    }

    // From packet `from` on: a "[PC00609]1920,1080" comes before the first H.264 frame, and that
    // frame alone gives a fresh decoder a picture.
    void expectNewStreamAfter(std::size_t from) {
        ASSERT_TRUE(eventually([&] { return settle() > from && m_client->getH264DrawSeq() > 0; }));
        ASSERT_TRUE(eventually([&] {
            const auto packets = m_console->received();
            return std::any_of(packets.begin() + static_cast<std::ptrdiff_t>(from), packets.end(),
                               [](const auto& p) { return !p.text && p.payloadType() == kH264Type; });
        }));
        const auto packets = m_console->received();
        bool announced = false;
        for (std::size_t i = from; i < packets.size(); ++i) {
            const auto& p = packets[i];
            if (p.code() == "[PC00609]" && p.params() == "1920,1080") {
                announced = true;
            }
            if (p.text || p.payloadType() != kH264Type) {
                continue;
            }
            EXPECT_TRUE(announced) << "the new stream was not announced";
            auto frame = testsupport::parseH264(p.body);
            ASSERT_TRUE(frame);
            drainQueue();
            H264Decoder decoder;
            EXPECT_EQ(decoder.decodeH264DataBufferList(frame->data, 0, 0), 0) << "not a key frame";
            auto picture = H264DecodeQueue::getH264DecodeData();
            ASSERT_TRUE(picture);
            EXPECT_EQ(picture->width, 1920);
            EXPECT_EQ(picture->height, 1080);
            return;
        }
    }

    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::shared_ptr<client::StudentClient> m_client;
    int m_marker = 40;
};

// The ticks go in as the link sends: the last images and the replies to "[MV00005]" or
// "[MV00264]" may still wait in the link's queue when the ticks come back to back, and the
// unsent-image gate would then skip every frame of a run, the new stream's first among them.
TEST_P(H264Restart, EveryStartOfTheLiveModeBeginsWithAnnouncementAndKeyFrame) {
    ASSERT_NO_FATAL_FAILURE(startH264LiveView());
    ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(7));
    expectNewStreamAfter(0);

    enum class Restart { LiveViewStoppedAndStarted, H264SwitchedOffAndOn };
    for (Restart restart : {Restart::LiveViewStoppedAndStarted, Restart::H264SwitchedOffAndOn}) {
        SCOPED_TRACE(restart == Restart::LiveViewStoppedAndStarted ? "live view again" : "H.264 again");
        ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(6)); // predicted frames of the running stream
        if (restart == Restart::LiveViewStoppedAndStarted) {
            send("[MV00005]");
            ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(3)); // a thumbnail between the views
            ASSERT_TRUE(m_console->waitForBody(kScreenImageType));
        } else {
            setH264(false);
            ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(3)); // a JPEG live image between the streams
        }
        const std::size_t mark = settle();
        restart == Restart::LiveViewStoppedAndStarted ? send("[MV00004]") : setH264(true);
        ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(7));
        expectNewStreamAfter(mark);
    }
}

TEST_P(H264Restart, AnEncoderThatCannotStartIsTriedOncePerStart) {
    auto setUps = std::make_shared<std::atomic<int>>(0);
    startH264LiveView([setUps] { return std::make_shared<RefusedEncoder>(setUps); });
    deliverTicks(15);
    EXPECT_EQ(setUps->load(), 1);
    EXPECT_EQ(m_client->getH264DrawSeq(), 0);
    setH264(true); // a new start tries again, once
    deliverTicks(15);
    EXPECT_EQ(setUps->load(), 2);
    // Two from the "[MV00264]" handler, two from the two set-ups.
    EXPECT_TRUE(eventually([&] { return m_console->count("[PC00609]") == 4; }));
    EXPECT_EQ(logCount("[ZQ_CALLBACK]H.264 encoder set-up failed (-1); no H.264 frames until the next start"),
              2u);
}

// The stream the console was told of: 1920 x 1080 at 5120000 bit/s and 24 frames a second, set up
// only after the 0.6 s pause that lets the console prepare its decoder.
TEST_P(H264Restart, TheEncoderIsSetUpAsAnnouncedAfterThePause) {
    auto log = std::make_shared<RecordingEncoder::Log>();
    startH264LiveView([this, log] { return std::make_shared<RecordingEncoder>(log, m_loop); });
    deliverTicks(7);
    expectNewStreamAfter(0);
    std::lock_guard guard(log->lock);
    ASSERT_EQ(log->setUps.size(), 1u);
    const RecordingEncoder::SetUp& setUp = log->setUps[0];
    EXPECT_EQ(setUp.width, 1920);
    EXPECT_EQ(setUp.height, 1080);
    EXPECT_EQ(setUp.bitrate, 5120000);
    EXPECT_FLOAT_EQ(setUp.fps, 24.0f);
    EXPECT_EQ(setUp.pausesBefore, 1u);
}

// The console keeps the H.264 live mode on as long as it likes: the lines of its frames are held to
// a few a second of each kind, the next line let through counting the rest.
TEST_P(H264Restart, FramesOfTheLiveModeAreLoggedAFewTimesASecond) {
    constexpr std::size_t kFewLines = 20;
    constexpr int kTicks = 60; // twenty frames in one second of the main clock
    startH264LiveView();
    // Lines held back by earlier cases are told here, before the count starts.
    m_loop.advance(1.0);
    deliverTicks(6);
    settle();
    m_loop.advance(1.0);
    const std::int32_t framesBefore = m_client->getH264DrawSeq();
    const std::size_t linesBefore = logLines().size();
    // As the link sends: ticks back to back would let the unsent-image gate skip frames counted here.
    ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(kTicks));
    settle();
    m_loop.advance(1.0);
    deliverTicks(6);
    settle();
    const auto all = logLines();
    const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(linesBefore), all.end());
    const auto frames = static_cast<std::uint64_t>(m_client->getH264DrawSeq() - framesBefore);
    EXPECT_GE(frames, static_cast<std::uint64_t>(kTicks / 3));
    EXPECT_LT(lines.size(), kFewLines);
    using platform::testing::faultsLogged;
    EXPECT_EQ(faultsLogged(lines, "H264 enabled"), frames);
    EXPECT_EQ(faultsLogged(lines, "YUV Data make Time"), frames);
    EXPECT_EQ(faultsLogged(lines, "YuvData:"), frames);
}

INSTANTIATE_TEST_SUITE_P(BothCaptureObjects, H264Restart, ::testing::Values(Path::Processor, Path::Daemon),
                         pathName);

} // namespace
} // namespace streaming::test
