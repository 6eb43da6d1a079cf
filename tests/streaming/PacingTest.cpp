// Frame pacing of both capture objects on the synthetic 30-per-second source: which ticks are
// accepted (their pixels fetched for the upload), which are dropped (each running one
// forbidden-program pass), and that nothing is captured without a thumbnail size.
#include "streaming/FramePacer.h"
#include "support/CaptureFixture.h"
#include "support/XvfbServer.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace streaming::test {
namespace {

TEST(ElapsedMilliseconds, NeverWrapsOrOverflows) {
    struct Case {
        std::uint64_t start;
        std::uint64_t recent;
        std::int32_t timescale;
        std::int64_t expected;
    };
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const Case cases[] = {
        {0, 3, 30, 100},
        {0, 9, 30, 300},
        {100, 108, 30, 266},
        {10, 5, 30, 0}, // a clock that went backwards reads as no time, not as years
        {0, 5, 0, 0},
        {0, 5, -30, 0},
        {0, std::numeric_limits<std::uint64_t>::max(), 30, kMax},
        {0, std::numeric_limits<std::uint64_t>::max(), 1, kMax},
        {7, 7 + 30ull * 86400 * 365, 30, 1000ll * 86400 * 365},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(elapsedMilliseconds(c.start, c.recent, c.timescale), c.expected)
            << c.start << " -> " << c.recent << " at " << c.timescale;
    }
}

TEST(FramePacerTest, FirstFrameOpensTheIntervalAndOnlyAcceptedFramesMoveIt) {
    FramePacer pacer;
    EXPECT_TRUE(pacer.pace(0, 30, 100)); // elapsed 0
    EXPECT_TRUE(pacer.pace(2, 30, 100));
    EXPECT_FALSE(pacer.pace(3, 30, 100));
    EXPECT_EQ(pacer.startTime(), 3u);
    EXPECT_TRUE(pacer.pace(5, 30, 100));
    EXPECT_EQ(pacer.startTime(), 3u);
    EXPECT_FALSE(pacer.pace(6, 30, 100));
    // A huge interval and a huge gap compare in 64 bits.
    EXPECT_FALSE(
        pacer.frameDrop(std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int32_t>::max()));
    EXPECT_TRUE(pacer.frameDrop(0, 1));
    EXPECT_FALSE(pacer.frameDrop(0, std::numeric_limits<std::int32_t>::min()));
}

struct PacingCase {
    const char* name;
    bool liveView;
    std::int32_t refreshDelay;
    int ticks;
    std::vector<std::uint64_t> accepted;
};

class PacingTest : public CaptureFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        GetParam() ? startProcessor() : startDaemon();
        // Browser killing on, so every pass reads the (counting) process table.
        capture().forbiddenPrograms().setWebBrowserKill("true");
    }
};

std::vector<std::uint64_t> range(std::uint64_t first, std::uint64_t last, std::uint64_t step) {
    std::vector<std::uint64_t> values;
    for (std::uint64_t v = first; v <= last; v += step)
        values.push_back(v);
    return values;
}

TEST_P(PacingTest, AcceptsOneFramePerIntervalAndKillsOnEveryDroppedFrame) {
    const PacingCase cases[] = {
        {"refresh 300 ms", false, 300, 30, {9, 18, 27}},
        {"live view ignores the refresh delay", true, 300, 30, range(3, 27, 3)},
        {"live view with a long refresh delay", true, 5000, 10, {3, 6, 9}},
        {"refresh 1 s", false, 1000, 61, {30, 60}},
        {"refresh 0 takes every frame", false, 0, 10, range(0, 9, 1)},
        {"negative refresh takes every frame", false, -40, 5, range(0, 4, 1)},
    };
    for (const PacingCase& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh capture object per case, so each starts with its first frame.
        TearDown();
        CaptureFixture::SetUp();
        GetParam() ? startProcessor() : startDaemon();
        capture().forbiddenPrograms().setWebBrowserKill("true");
        client::gStudentSessionInfo().m_nThumbWidth.store(160);
        client::gStudentSessionInfo().m_nThumbHeight.store(120);
        installIdleClient();
        deliverDirect("READ_MSG_MV00006", std::to_string(c.refreshDelay));
        if (c.liveView)
            deliverDirect("READ_MSG_MV00004", "");
        m_listings->store(0);

        deliverTicks(c.ticks);

        EXPECT_EQ(fetchedTicks(), c.accepted);
        EXPECT_EQ(m_listings->load(), c.ticks - static_cast<int>(c.accepted.size()));
    }
}

TEST_P(PacingTest, WithoutThumbnailSizeAcceptedFramesAreNeitherCapturedNorKilled) {
    installIdleClient();
    deliverDirect("READ_MSG_MV00006", "0");
    client::gStudentSessionInfo().m_nThumbWidth.store(160); // height still 0
    deliverTicks(12);
    EXPECT_TRUE(fetchedTicks().empty());
    EXPECT_EQ(m_listings->load(), 0);

    // The default 300 ms: the dropped frames still run their pass.
    deliverDirect("READ_MSG_MV00006", "300");
    deliverTicks(12);
    EXPECT_TRUE(fetchedTicks().empty());
    EXPECT_EQ(m_listings->load(), 11);
}

TEST_P(PacingTest, BeforeTheFirstLoginEveryFramePassesAndStopsAtTheThumbnailSize) {
    client::gStudentSessionInfo().m_nThumbWidth.store(160);
    client::gStudentSessionInfo().m_nThumbHeight.store(120);
    deliverTicks(8);
    EXPECT_TRUE(fetchedTicks().empty()); // no client: nothing to upload on
    EXPECT_EQ(m_listings->load(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothCaptureObjects, PacingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Processor" : "Daemon";
                         });

TEST_F(CaptureFixture, HelperStopsDeliveringWhenItsDelegateIsGone) {
    startProcessor();
    capture().forbiddenPrograms().setWebBrowserKill("true");
    installIdleClient();
    deliverTicks(3);
    EXPECT_EQ(m_listings->load(), 3);
    m_capture.helper->setDelegate({});
    deliverTicks(3);
    EXPECT_EQ(m_listings->load(), 3);
    EXPECT_EQ(m_source->ticksDelivered(), 6u);
}

TEST_F(CaptureFixture, StartUpPicksTheCaptureObjectByTheServersSharedMemory) {
    start(true);
    EXPECT_TRUE(m_capture.processor && m_capture.helper);
    EXPECT_FALSE(m_capture.daemon);
    EXPECT_EQ(logCount("startCaptureWrapper"), 1u);
    m_capture = ScreenCapture{};
    start(false);
    EXPECT_TRUE(m_capture.daemon);
    EXPECT_FALSE(m_capture.processor || m_capture.helper);
}

TEST_F(CaptureFixture, OnARealXServerStartUpTakesTheSharedMemoryPathAndFramesFlow) {
    if (!XvfbServer::installed()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    XvfbServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const char* previous = std::getenv("DISPLAY");
    const std::string saved = previous ? previous : "";
    ::setenv("DISPLAY", server.display().c_str(), 1);

    CaptureStartOptions options;
    options.center = &m_center;
    options.makeProcessTable = [this] { return std::make_unique<CountingProcessTable>(m_listings); };
    m_capture = startScreenCapture(std::move(options));
    EXPECT_TRUE(m_capture.processor && m_capture.helper); // Xvfb offers MIT-SHM
    if (m_capture.processor) {
        capture().forbiddenPrograms().setWebBrowserKill("true");
        installIdleClient(); // 300 ms: most ticks are dropped, each with its pass
        EXPECT_TRUE(eventually([&] { return m_listings->load() >= 5; }));
    }
    m_capture = ScreenCapture{};
    previous ? ::setenv("DISPLAY", saved.c_str(), 1) : ::unsetenv("DISPLAY");
}

} // namespace
} // namespace streaming::test
