// Share-board strokes: the pen colours as the console reads them, view points scaled to the
// teacher's canvas, and stroke packets received by a scripted console (a click, the eraser, a
// stroke longer than one request holds).
#include "streaming/ShareBoardStroke.h"

#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "platform/ManualRunLoop.h"
#include "platform/UserDefaults.h"
#include "support/ClientTeardown.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"
#include "transport/TCPServerClient.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using streaming::MyPoint;
using streaming::Stroke;

// 1440 x 900 points with a 24-point menu bar, the teacher's canvas 1920 x 1080.
constexpr streaming::CanvasSizes kSizes{1440, 876, 1920, 1080};

TEST(ShareBoardStroke, ColourValuesFollowTheColourTable) {
    struct Case {
        int mode;
        std::uint64_t value;
    };
    const Case cases[] = {{0, 0x000000}, {1, 0x0000FF}, {2, 0xFF0000}, {3, 0xFFFFFF},
                          {4, 0x00FFFF}, {5, 0xFF00FF}, {6, 0x00FF00}, {7, 0xFFFF00},
                          {8, 0x336699}, {9, 0x000000}, {-1, 0x000000}};
    for (const Case& c : cases)
        EXPECT_EQ(streaming::penColourValue(c.mode), c.value) << "colour mode " << c.mode;
}

TEST(ShareBoardStroke, PointsAreScaledToTheTeachersCanvasWithTheOriginTopLeft) {
    struct Case {
        MyPoint point;
        std::int32_t x;
        std::int32_t y;
    };
    const Case cases[] = {
        {{720, 438}, 960, 540}, {{0, 876}, 0, 0}, {{1440, 0}, 1920, 1080}, {{1.9, 875.9}, 2, 0}};
    for (const Case& c : cases) {
        // The press point is not sent: put a throw-away one first.
        const auto packets = streaming::makeStrokePackets({MyPoint(5, 5), c.point}, {}, 2, kSizes);
        ASSERT_EQ(packets.size(), 1u);
        ASSERT_EQ(packets[0].points.size(), 1u);
        EXPECT_EQ(packets[0].points[0].x, c.x);
        EXPECT_EQ(packets[0].points[0].y, c.y);
    }
    EXPECT_EQ(streaming::convertToServerCanvasPos(100, 0, 1920), 0); // no view yet: no division by zero
}

// The pen width on the wire: the panel's widths as they are, any other float clamped, never an
// undefined conversion (the fuzz build's UBSan watches the same road).
TEST(ShareBoardStroke, ThicknessIsTruncatedAndClampedIntoRange) {
    struct Case {
        float thickness;
        std::int32_t wire;
    };
    const Case cases[] = {{2.0f, 2},
                          {5.0f, 5},
                          {12.9f, 12},
                          {-3.0f, 0},
                          {3.0e38f, 1024},
                          {std::numeric_limits<float>::infinity(), 0},
                          {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const Case& c : cases) {
        streaming::PenState pen;
        pen.thickness = c.thickness;
        const auto packets = streaming::makeStrokePackets({MyPoint(5, 5), MyPoint(6, 6)}, pen, 2, kSizes);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].nThickness, c.wire) << c.thickness;
    }
}

class StrokeWire : public ::testing::Test {
protected:
    void SetUp() override {
        m_loop.install();
        m_console.setFreeSlots(std::nullopt); // its handler waits a second on the main clock
        ASSERT_TRUE(m_console.start());
        auto settings = platform::UserDefaults::suite();
        settings->setString(client::settings::kServerIp, m_console.host());
        settings->setString(client::settings::kServerPort, std::to_string(m_console.port()));
        m_client = client::StudentClient::create();
        ASSERT_TRUE(m_client->connectToServer());
        ASSERT_TRUE(m_console.waitForLinks(1));
    }
    void TearDown() override {
        testsupport::endClient(m_client);
        m_console.stop();
    }
    testsupport::Stroke receive() {
        auto packet = m_console.waitForBody(testsupport::kBodyStroke);
        EXPECT_TRUE(packet);
        if (!packet)
            return {};
        auto stroke = testsupport::parseStroke(packet->body);
        EXPECT_TRUE(stroke);
        m_lastBodySize = packet->body.size();
        return stroke.value_or(testsupport::Stroke{});
    }
    void send(const Stroke& stroke, const streaming::PenState& pen, std::int32_t slot = 7) {
        const auto packets = streaming::makeStrokePackets(stroke, pen, slot, kSizes);
        EXPECT_EQ(m_client->sendStrokePackets(packets), packets.size());
    }

    platform::ManualRunLoop m_loop;
    testsupport::ConsolePeer m_console;
    std::shared_ptr<client::StudentClient> m_client;
    std::size_t m_lastBodySize = 0;
};

TEST_F(StrokeWire, AClickSendsTheReleasePointWithThePensSettings) {
    // Pen, red, thickness button 2, no highlighter; pressed and released at one place.
    send({MyPoint(720, 438), MyPoint(720, 438)}, {streaming::kToolPen, 5.0f, 1, false, 1});
    const auto stroke = receive();
    EXPECT_EQ(stroke.slot, 7);
    EXPECT_EQ(stroke.tool, 0);
    EXPECT_EQ(stroke.thickness, 5);
    EXPECT_EQ(stroke.thicknessMode, 1);
    EXPECT_FALSE(stroke.blend);
    EXPECT_EQ(stroke.color, 0x0000FFu);
    EXPECT_EQ(stroke.points, (std::vector<std::pair<std::int32_t, std::int32_t>>{{960, 540}}));
}

TEST_F(StrokeWire, TheEraserIsToolFourAndTheHighlighterIsFlagged) {
    send({MyPoint(0, 876), MyPoint(0, 876), MyPoint(1440, 0)}, {streaming::kToolEraser, 12.0f, 3, true, 8});
    const auto stroke = receive();
    EXPECT_EQ(stroke.tool, 4);
    EXPECT_EQ(stroke.thickness, 12);
    EXPECT_TRUE(stroke.blend);
    EXPECT_EQ(stroke.color, 0x336699u);
    EXPECT_EQ(stroke.points, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 0}, {1920, 1080}}));
}

TEST_F(StrokeWire, AStrokeLongerThanOneRequestIsSplitWithoutAGap) {
    constexpr std::size_t kSent = 12800; // 12,796 fit in one request
    Stroke long_stroke;
    for (std::size_t i = 0; i <= kSent; ++i)
        long_stroke.push_back(MyPoint(static_cast<double>(i % 1440), 438));
    send(long_stroke, {});
    const auto first = receive();
    EXPECT_EQ(m_lastBodySize, 102397u); // 29 + 8 x 12,796: within the 102,400-byte request
    const auto second = receive();
    ASSERT_EQ(first.points.size(), 12796u);
    ASSERT_EQ(second.points.size(), kSent - 12796 + 1);
    EXPECT_EQ(second.points.front(), first.points.back());
    EXPECT_EQ(second.points.back().first, streaming::convertToServerCanvasPos(kSent % 1440, 1440, 1920));
    EXPECT_FALSE(m_console.waitForBody(testsupport::kBodyStroke, std::chrono::milliseconds(200)));
}

} // namespace
