#include "streaming/X11ScreenGrabber.h"
#include "streaming/X11ScreenSource.h"
#include "support/XvfbServer.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <vector>
#include <xcb/randr.h>
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

// Shows a smaller mode on the server's one output, so the root window stays larger than the output
// (as with a second monitor or a virtual desktop). Answers the output, or XCB_NONE on failure.
xcb_randr_output_t shrinkOutput(xcb_connection_t* c, int width, int height) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    std::free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr));
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, screen->root), nullptr);
    if (resources == nullptr || xcb_randr_get_screen_resources_current_outputs_length(resources) < 1) {
        std::free(resources);
        return XCB_NONE;
    }
    const xcb_randr_output_t output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
    const xcb_timestamp_t configTime = resources->config_timestamp;
    std::free(resources);
    auto* info =
        xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, output, XCB_CURRENT_TIME), nullptr);
    if (info == nullptr || info->crtc == XCB_NONE) {
        std::free(info);
        return XCB_NONE;
    }
    const xcb_randr_crtc_t crtc = info->crtc;
    std::free(info);
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "test";
    xcb_randr_mode_info_t mode{};
    mode.width = static_cast<std::uint16_t>(width);
    mode.height = static_cast<std::uint16_t>(height);
    mode.dot_clock = 60u * static_cast<std::uint32_t>(width * height);
    mode.htotal = static_cast<std::uint16_t>(width);
    mode.vtotal = static_cast<std::uint16_t>(height);
    mode.name_len = static_cast<std::uint16_t>(name.size());
    auto* created = xcb_randr_create_mode_reply(
        c,
        xcb_randr_create_mode(c, screen->root, mode, static_cast<std::uint32_t>(name.size()), name.c_str()),
        nullptr);
    if (created == nullptr) {
        return XCB_NONE;
    }
    const xcb_randr_mode_t id = created->mode;
    std::free(created);
    xcb_randr_add_output_mode(c, output, id);
    auto* set = xcb_randr_set_crtc_config_reply(
        c,
        xcb_randr_set_crtc_config(c, crtc, XCB_CURRENT_TIME, configTime, 0, 0, id,
                                  XCB_RANDR_ROTATION_ROTATE_0, 1, &output),
        nullptr);
    const bool ok = set != nullptr && set->status == XCB_RANDR_SET_CONFIG_SUCCESS;
    std::free(set);
    return ok ? output : XCB_NONE;
}

void setPrimary(xcb_connection_t* c, xcb_randr_output_t output) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_randr_set_output_primary(c, screen->root, output);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// The captured rectangle is the output the desktop layer calls primary (and whose size the console
// is told), never the whole root window.
TEST(X11CaptureOutput, CapturesThePrimaryScreenNotTheWholeRoot) {
    if (!test::XvfbServer::installed()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    test::XvfbServer server("1600x900x24");
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const Connection control(xcb_connect(server.display().c_str(), nullptr));
    ASSERT_EQ(xcb_connection_has_error(control.get()), 0);
    const xcb_randr_output_t output = shrinkOutput(control.get(), kScreenWidth, kScreenHeight);
    ASSERT_NE(output, static_cast<xcb_randr_output_t>(XCB_NONE)) << "the server cannot show a smaller mode";
    struct Case {
        bool primary;
        X11ScreenGrabber::Method method;
    };
    for (const Case& c :
         {Case{false, X11ScreenGrabber::Method::SharedMemory},
          Case{false, X11ScreenGrabber::Method::GetImage}, Case{true, X11ScreenGrabber::Method::GetImage}}) {
        SCOPED_TRACE(c.primary ? "primary output named" : "no primary output");
        setPrimary(control.get(), c.primary ? output : static_cast<xcb_randr_output_t>(XCB_NONE));
        std::string error;
        auto grabber = X11ScreenGrabber::open(server.display(), c.method, error);
        ASSERT_TRUE(grabber) << error;
        EXPECT_EQ(grabber->output(), (OutputRect{0, 0, kScreenWidth, kScreenHeight}));
        const ImageView view = grabber->grab(error);
        ASSERT_TRUE(view.isValid()) << error;
        EXPECT_EQ(view.size(), (ImageSize{kScreenWidth, kScreenHeight}));
    }
}

} // namespace
} // namespace streaming
