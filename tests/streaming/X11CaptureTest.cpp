#include "XvfbServer.h"
#include "streaming/X11ScreenSource.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <vector>
#include <xcb/xcb.h>

namespace streaming {
namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;
constexpr int kBlockWidth = 160;
constexpr int kBlockHeight = 180;
constexpr int kDotRow = 701;
constexpr std::uint32_t kDotColour = 0xFFFFFF;
constexpr int kFramesToCollect = 3;
constexpr auto kFrameTimeout = std::chrono::seconds(20);

std::uint32_t blockColour(int column, int row) {
    return static_cast<std::uint32_t>(((column * 37 + 20) & 0xFF) << 16 | ((row * 71 + 13) & 0xFF) << 8 |
                                      ((column * row * 19 + 5) & 0xFF));
}

std::uint32_t expectedPixel(int x, int y) {
    if (y == kDotRow && x % 2 == 0) {
        return kDotColour;
    }
    return blockColour(x / kBlockWidth, y / kBlockHeight);
}

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// Paints the root window: coloured blocks and a row of single-pixel dots. The painter stays
// connected while the test captures.
Connection paintPattern(const std::string& display) {
    Connection connection(xcb_connect(display.c_str(), nullptr));
    xcb_connection_t* c = connection.get();
    if (xcb_connection_has_error(c) != 0) {
        return nullptr;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, screen->root, 0, nullptr);
    for (int row = 0; row * kBlockHeight < kScreenHeight; ++row) {
        for (int column = 0; column * kBlockWidth < kScreenWidth; ++column) {
            const std::uint32_t colour = blockColour(column, row);
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t rect{static_cast<std::int16_t>(column * kBlockWidth),
                                       static_cast<std::int16_t>(row * kBlockHeight), kBlockWidth,
                                       kBlockHeight};
            xcb_poly_fill_rectangle(c, screen->root, gc, 1, &rect);
        }
    }
    std::vector<xcb_point_t> dots;
    for (int x = 0; x < kScreenWidth; x += 2) {
        dots.push_back({static_cast<std::int16_t>(x), static_cast<std::int16_t>(kDotRow)});
    }
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &kDotColour);
    xcb_poly_point(c, XCB_COORD_MODE_ORIGIN, screen->root, gc, static_cast<std::uint32_t>(dots.size()),
                   dots.data());
    // A round trip: every drawing request before it has been carried out.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return connection;
}

struct Collected {
    std::mutex lock;
    std::condition_variable done;
    std::vector<std::uint64_t> stamps;
    std::vector<std::int32_t> timescales;
    PlainImage firstImage;
};

class X11Capture : public ::testing::TestWithParam<X11ScreenSource::Method> {};

TEST_P(X11Capture, CapturesThePaintedPattern) {
    if (!test::XvfbServer::installed()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    test::XvfbServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const Connection painter = paintPattern(server.display());
    ASSERT_TRUE(painter);
    if (GetParam() == X11ScreenSource::Method::SharedMemory) {
        ASSERT_TRUE(X11ScreenSource::offersSharedMemory(server.display()));
    }

    X11ScreenSource source(GetParam(), server.display());
    Collected collected;
    std::vector<std::string> errors;
    ASSERT_TRUE(source.start(
        [&collected](CaptureFrame& frame) {
            std::lock_guard guard(collected.lock);
            if (collected.stamps.size() >= static_cast<std::size_t>(kFramesToCollect)) {
                return;
            }
            collected.stamps.push_back(frame.ptsValue());
            collected.timescales.push_back(frame.ptsTimescale());
            if (collected.firstImage.isEmpty()) {
                collected.firstImage = PlainImage::copyOf(frame.pixels());
            }
            if (collected.stamps.size() == static_cast<std::size_t>(kFramesToCollect)) {
                collected.done.notify_all();
            }
        },
        [&errors](const std::string& line) { errors.push_back(line); }));
    {
        std::unique_lock guard(collected.lock);
        ASSERT_TRUE(collected.done.wait_for(guard, kFrameTimeout, [&] {
            return collected.stamps.size() >= static_cast<std::size_t>(kFramesToCollect);
        }));
    }
    source.stop();
    EXPECT_TRUE(errors.empty());

    // Stamps grow tick by tick (a slow tick may skip ahead, never back).
    EXPECT_EQ(collected.stamps[0], 0u);
    for (std::size_t i = 1; i < collected.stamps.size(); ++i) {
        EXPECT_GT(collected.stamps[i], collected.stamps[i - 1]);
    }
    EXPECT_EQ(collected.timescales, std::vector<std::int32_t>(kFramesToCollect, 30));

    const PlainImage& image = collected.firstImage;
    ASSERT_EQ(image.size(), (ImageSize{kScreenWidth, kScreenHeight}));
    int mismatches = 0;
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            const std::uint8_t* p = image.view().row(y) + x * kBytesPerPixel;
            const std::uint32_t got =
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            if (got != expectedPixel(x, y) && ++mismatches <= 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << got << " not "
                              << expectedPixel(x, y);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, X11Capture,
                         ::testing::Values(X11ScreenSource::Method::SharedMemory,
                                           X11ScreenSource::Method::GetImage),
                         [](const auto& info) {
                             return info.param == X11ScreenSource::Method::SharedMemory ? "SharedMemory"
                                                                                        : "GetImage";
                         });

TEST(X11CaptureFailure, UnreachableDisplayIsReportedOnce) {
    X11ScreenSource source(X11ScreenSource::Method::SharedMemory, ":8765");
    std::mutex lock;
    std::condition_variable told;
    std::vector<std::string> errors;
    int frames = 0;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(source.start([&](CaptureFrame&) { ++frames; },
                             [&](const std::string& line) {
                                 std::lock_guard guard(lock);
                                 errors.push_back(line);
                                 told.notify_all();
                             }));
    {
        std::unique_lock guard(lock);
        told.wait_for(guard, kFrameTimeout, [&] { return !errors.empty(); });
    }
    source.stop();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(errors, std::vector<std::string>{"Start capture failed: cannot connect to the X display"});
    EXPECT_EQ(printed, "Start capture failed: cannot connect to the X display\n");
    EXPECT_EQ(frames, 0);
}

} // namespace
} // namespace streaming
