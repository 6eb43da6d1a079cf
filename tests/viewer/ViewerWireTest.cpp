// The whole road from a scripted console on loopback: "[AN00001]" opens the viewer in answer mode,
// "[MV00102]start" with "[MV00103]" in share mode; strips fill it (a refused strip does not hold
// back the ones behind it), an H.264 stream made by our own encoder shows, a key goes back to the
// console, and "[MV00107]false" or "[MV00102]" with another body closes it. In the note tool's
// share-board mode, strokes drawn on the view reach the console as stroke packets.
#include "ViewerTestSupport.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "streaming/H264Encoder.h"
#include "streaming/Yuv420.h"
#include "support/CaptureFixture.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"
#include "viewer/ScreenShareViewController.h"
#include "viewer/ScreenShareWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <atomic>

namespace viewer::test {
namespace {

using namespace viewertest;
using streaming::test::CaptureFixture;
constexpr std::uint8_t kTextType = 1;

class ViewerWire : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        platform::screens::setInfo(
            {streaming::test::kScreenWidth, streaming::test::kScreenHeight, 24, {1.0}});
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setFreeSlots(std::nullopt);
        ASSERT_TRUE(m_console->start());
        useDirectConsole(m_console->port());
        startDaemon();
        registerViewerWindows(m_center);
        desktop::WindowRegistry::registerFactory(desktop::storyboard::kMainWindow, [this] {
            return std::make_shared<panel::MainWindowController>(m_center);
        });
        // The panel announces the login; the capture object connects the client.
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        m_loop.runUntilIdle();
        ASSERT_TRUE(m_console->waitForLinks(1));
        ASSERT_TRUE(client::gStudentClient());
    }
    void TearDown() override {
        desktop::WindowRegistry::closeAll();
        panel::AppDelegate::shared().resetForTesting();
        desktop::WindowRegistry::unregisterFactory(desktop::storyboard::kScreenShareWindow);
        desktop::WindowRegistry::unregisterFactory(desktop::storyboard::kMainWindow);
        m_main.reset();
        CaptureFixture::TearDown();
        m_console.reset();
        QApplication::processEvents();
    }

    ScreenShareWindowController* viewer() {
        auto controller = panel::AppDelegate::shared().getScreenShareWindowController();
        return controller && controller->isOpen()
                   ? dynamic_cast<ScreenShareWindowController*>(controller.get())
                   : nullptr;
    }
    ScreenShareViewController& content() { return *viewer()->viewer(); }
    Pixel at(int x, int y) { return pixelAt(content().model().canvas().image(), x, y); }
    void sendStrip(std::uint32_t seq, const std::vector<Rgb>& colours, std::vector<std::uint32_t> tiles,
                   int tileWidth, int tileHeight) {
        auto body = testsupport::tilesBody(seq, tiles, jpegStrip(colours, tileWidth, tileHeight));
        ASSERT_TRUE(body);
        ASSERT_TRUE(m_console->sendBody(*body));
    }
    void tick() { m_loop.advance(ScreenShareViewController::kRefreshInterval); }

    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::shared_ptr<desktop::WindowController> m_main;
};

TEST_F(ViewerWire, AnswerModeShowsStripsPastARefusedOneAndSendsKeys) {
    ASSERT_TRUE(m_console->sendText("[AN00001]1920,1080"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    ASSERT_TRUE(content().getAnswerEnabled());
    // The student's 1440 x 900 screen in 8 x 4 tiles of 180 x 225.
    sendStrip(1, {kRed, kGreen, kBlue, kYellow, kRed, kGreen, kBlue, kYellow}, {0, 1, 2, 3, 4, 5, 6, 7}, 180,
              225);
    sendStrip(2, {kRed}, {32}, 180, 225); // one past the last tile: refused
    sendStrip(3, {kBlue, kBlue}, {8, 15}, 180, 225);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(m_console->waitFor("[AN00006]"));
    tick();
    EXPECT_EQ(content().waitingUpdates(), 0u);
    EXPECT_TRUE(near(at(90, 100), kRed));
    EXPECT_TRUE(near(at(1350, 100), kYellow));
    EXPECT_TRUE(near(at(90, 300), kBlue));   // tile 8, behind the refused strip
    EXPECT_TRUE(near(at(1350, 300), kBlue)); // tile 15
    EXPECT_EQ(at(500, 600).a, 0);            // never received

    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, 38, 0, 0);
    QApplication::sendEvent(viewer()->window(), &press);
    auto key = m_console->waitFor("[PC00603]");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->params(), "1E9E");

    ASSERT_TRUE(m_console->sendText("[MV00107]false"));
    ASSERT_TRUE(m_console->waitFor("[AN00005]"));
    EXPECT_TRUE(eventually([&] { return viewer() == nullptr; }));
}

// A strip whose zlib data inflates to 60 MiB of zeros: 61 KB on the wire, naming tile 0.
testsupport::Bytes bombStrip(std::uint32_t seq) {
    constexpr std::size_t kInflatedBytes = 60u * 1024 * 1024;
    constexpr std::size_t kPayloadHeaderBytes = 16; // unread word, count, one tile, image size
    auto body = testsupport::tilesBody(seq, {0}, testsupport::Bytes(kInflatedBytes - kPayloadHeaderBytes, 0));
    EXPECT_TRUE(body);
    return body.value_or(testsupport::Bytes{});
}

// Forty strips over the answer grid: each is refused before it is inflated, and acknowledged all the
// same, since the console paces its strips on the acknowledgements.
TEST_F(ViewerWire, FortyBombStripsCostTheSessionNothingAndTheNextStripIsDrawn) {
    ASSERT_TRUE(m_console->sendText("[AN00001]1920,1080"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    const testsupport::Bytes bomb = bombStrip(1);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(m_console->sendBody(bomb));
    // A heartbeat round behind them: sent and answered while the link still reads.
    m_loop.advance(session::kHeartbeatIntervalSeconds);
    capture().session().drainSendQueue();
    ASSERT_TRUE(m_console->waitFor("[PC00003]"));
    auto client = client::gStudentClient();
    ASSERT_TRUE(client);
    ASSERT_TRUE(eventually([&] { return client->getHeartBeatFailureCnt() == 0; }));

    sendStrip(41, {kRed}, {0}, 180, 225);
    ASSERT_TRUE(m_console->waitForMatch(
        [](const testsupport::PeerPacket& p) { return p.code() == "[AN00006]" && p.params() == "41"; }));
    tick();
    EXPECT_TRUE(near(at(90, 100), kRed));
    EXPECT_EQ(disconnects(), 0u);
    EXPECT_EQ(content().waitingUpdates(), 0u);
    std::size_t refusedAcknowledged = 0;
    for (const testsupport::PeerPacket& p : m_console->received())
        refusedAcknowledged += p.code() == "[AN00006]" && p.params() == "1" ? 1 : 0;
    EXPECT_EQ(refusedAcknowledged, 40u);
}

// A picture of noise as an uncompressed 32-bit BMP (file and info headers, then bottom-up rows of
// blue, green, red and an unused byte): as incompressible as a picture gets, at four bytes a pixel
// and 54 bytes besides.
std::vector<std::uint8_t> noiseBmp(int width, int height) {
    constexpr std::uint32_t kHeaderBytes = 14 + 40;
    const auto pixelBytes = static_cast<std::uint32_t>(4 * width * height);
    std::vector<std::uint8_t> bmp;
    auto put = [&bmp](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    bmp.push_back('B');
    bmp.push_back('M');
    put(kHeaderBytes + pixelBytes, 4);
    put(0, 4);
    put(kHeaderBytes, 4);
    put(40, 4);
    put(static_cast<std::uint32_t>(width), 4);
    put(static_cast<std::uint32_t>(height), 4);
    put(1, 2);  // planes
    put(32, 2); // bits a pixel
    put(0, 4);  // no compression
    put(pixelBytes, 4);
    put(2835, 4); // 72 dots an inch
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    std::uint32_t state = 12345;
    for (std::uint32_t i = 0; i < pixelBytes; ++i) {
        state = state * 1664525u + 1013904223u;
        bmp.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    return bmp;
}

// One answer tile (180 x 225) of noise one row short, at nearly four bytes a pixel of the tile: the
// answer grid's tile bounds it, so it is drawn, where the share grid's much smaller tile would
// refuse it.
TEST_F(ViewerWire, AnIncompressibleAnswerTileIsDrawn) {
    constexpr int kTileWidth = 180;
    constexpr int kTileHeight = 225;
    ASSERT_TRUE(m_console->sendText("[AN00001]1920,1080"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    const std::vector<std::uint8_t> picture = noiseBmp(kTileWidth, kTileHeight - 1);
    const double tileBytes = 4.0 * kTileWidth * kTileHeight;
    ASSERT_GT(static_cast<double>(picture.size()), 0.99 * tileBytes);
    ASSERT_LT(static_cast<double>(picture.size()), tileBytes);
    auto body = testsupport::tilesBody(1, {0}, picture);
    ASSERT_TRUE(body);
    ASSERT_TRUE(m_console->sendBody(*body));
    ASSERT_TRUE(m_console->waitFor("[AN00006]"));
    tick();
    EXPECT_EQ(at(90, 100).a, 0xFF);
    EXPECT_EQ(at(90 + kTileWidth, 100).a, 0); // tile 1, never received
}

// "[MV00102]start" before any canvas: a strip that comes then is acknowledged though there is no
// grid to show it on; once "[MV00103]" announces the canvas, the next strip is drawn.
TEST_F(ViewerWire, AStripBeforeTheShareCanvasIsAcknowledgedAndTheNextIsDrawn) {
    ASSERT_TRUE(m_console->sendText("[MV00102]start"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    sendStrip(1, {kRed}, {0}, 30, 135);
    auto early = m_console->waitFor("[PC00025]");
    ASSERT_TRUE(early);
    EXPECT_EQ(early->params(), "1");
    tick();
    ASSERT_TRUE(m_console->sendText("[MV00103]1920,1080,0,0"));
    sendStrip(2, {kGreen}, {0}, 30, 135);
    auto drawn = m_console->waitFor("[PC00025]");
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->params(), "2");
    tick();
    EXPECT_TRUE(near(at(15, 60), kGreen));
}

TEST_F(ViewerWire, ARepeatedBroadcastKeepsAnswerMode) {
    ASSERT_TRUE(m_console->sendText("[AN00001]1920,1080"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    ASSERT_TRUE(content().getAnswerEnabled());
    std::atomic<int> broadcasts{0};
    auto token = m_center.addObserver(client::events::kBroadcast, nullptr,
                                      [&](const platform::Notification&) { ++broadcasts; });
    // The console announces its screen again while the viewer is open: no new mode key comes.
    ASSERT_TRUE(m_console->sendText("[MV00102]start"));
    ASSERT_TRUE(eventually([&] { return broadcasts.load() == 1; }));
    m_center.removeObserver(token);
    m_loop.runUntilIdle(); // the panel's hand-over to the open viewer
    ASSERT_TRUE(viewer());
    EXPECT_TRUE(content().getAnswerEnabled());

    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, 38, 0, 0);
    QApplication::sendEvent(viewer()->window(), &press);
    auto key = m_console->waitFor("[PC00603]");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->params(), "1E9E");
    sendStrip(2, {kGreen}, {9}, 180, 225);
    ASSERT_TRUE(m_console->waitFor("[AN00006]"));
    tick();
    EXPECT_TRUE(near(at(180 + 90, 225 + 100), kGreen));
}

TEST_F(ViewerWire, AShareCanvasResizedWhileOpenCutsStripsIntoTheNewGrid) {
    ASSERT_TRUE(m_console->sendText("[MV00102]start"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    ASSERT_TRUE(m_console->sendText("[MV00103]1920,1080,0,0"));
    sendStrip(1, {kGreen}, {0}, 30, 135);
    ASSERT_TRUE(m_console->waitFor("[PC00025]"));
    tick();
    ASSERT_EQ(content().model().canvas().width(), 1920);
    // Half the size: 32 x 4 tiles of 30 x 135.
    ASSERT_TRUE(m_console->sendText("[MV00103]960,540,0,0"));
    ASSERT_TRUE(eventually([&] { return content().model().canvas().width() == 960; }));
    sendStrip(2, {kBlue, kRed}, {32, 33}, 30, 135);
    ASSERT_TRUE(m_console->waitFor("[PC00025]"));
    tick();
    EXPECT_EQ(content().model().shareGrid().tileCount(), 128u);
    EXPECT_TRUE(near(at(15, 200), kBlue));
    EXPECT_TRUE(near(at(45, 200), kRed));
}

TEST_F(ViewerWire, ShareModeReadsItsSizeAfterTheBroadcastAndClosesOnTheStop) {
    ASSERT_TRUE(m_console->sendText("[MV00102]start"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    ASSERT_TRUE(m_console->sendText("[MV00103]1920,1080,0,0"));
    std::vector<Rgb> colours;
    std::vector<std::uint32_t> tiles;
    for (std::uint32_t n = 0; n < 64; ++n) {
        colours.push_back(n % 2 == 0 ? kGreen : kRed);
        tiles.push_back(64 + n); // the second row of 64 x 8 tiles of 30 x 135
    }
    sendStrip(7, colours, tiles, 30, 135);
    ASSERT_TRUE(m_console->waitFor("[PC00025]"));
    tick();
    EXPECT_TRUE(content().model().getScreenShareEnabled());
    EXPECT_EQ(content().model().canvas().width(), 1920);
    EXPECT_TRUE(near(at(15, 200), kGreen));
    EXPECT_TRUE(near(at(1905, 200), kRed));
    EXPECT_EQ(at(15, 10).a, 0);

    ASSERT_TRUE(m_console->sendText("[MV00102]stop"));
    EXPECT_TRUE(eventually([&] { return viewer() == nullptr; }));
}

TEST_F(ViewerWire, AnH264StreamIsShownScaledToTheCanvas) {
    ASSERT_TRUE(m_console->sendText("[MV00265]320,240"));
    ASSERT_TRUE(m_console->sendText("[MV00102]start"));
    ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
    ASSERT_TRUE(m_console->sendText("[MV00103]640,480,0,0"));

    streaming::H264Encoder encoder;
    ASSERT_EQ(encoder.initEncoder(320, 240, 1000000, 24.0f), 0);
    streaming::PlainImage picture(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            std::uint8_t* p = picture.row(y) + x * streaming::kBytesPerPixel;
            p[0] = kBlue.b, p[1] = kBlue.g, p[2] = kBlue.r;
        }
    const auto i420 = streaming::yuv420DataFromImage(picture.view());
    constexpr std::size_t kFrames = 3;
    for (std::uint32_t seq = 1; seq <= kFrames; ++seq) {
        auto frame = encoder.nativeEncode(i420, 320, 240);
        ASSERT_TRUE(frame && !frame->empty());
        ASSERT_TRUE(m_console->sendBody(testsupport::h264Body(seq, 0, *frame)));
    }
    ASSERT_TRUE(eventually([&] { return content().waitingFrames() == kFrames; }));
    tick();
    EXPECT_TRUE(content().model().getScreenShareEnabled());
    EXPECT_EQ(content().model().canvas().width(), 640);
    // The encoder's colour conversion is full range and the display reads the stream as studio
    // range, as a console's stream is: a saturated colour comes back some levels apart.
    constexpr int kRangeTolerance = 20;
    EXPECT_TRUE(near(at(5, 5), kBlue, kRangeTolerance));
    EXPECT_TRUE(near(at(634, 474), kBlue, kRangeTolerance));
}

// The note-tool panel's settings as a test sets them.
struct FakePen : panel::NoteToolSettings {
    int mode = 3;
    int tool = 0;
    int thicknessMode = 1;
    bool blend = false;
    int colour = 1;
    int getMode() const override { return mode; }
    int getToolMode() const override { return tool; }
    float getThickness() const override { return thicknessMode == 1 ? 5.0f : 2.0f; }
    int getThicknessMode() const override { return thicknessMode; }
    bool getIsBlend() const override { return blend; }
    int getColorMode() const override { return colour; }
    void setWrite(bool) override {}
};

// The local drawing of a stroke across a transparent picture, read back a pixel at a time: the
// pen's colour at full alpha, or at 0.4 with the highlighter; the eraser a translucent white line
// 15 wide whatever the pen's width; and the repaint rectangle of a press reaching past the line by
// the margin.
TEST(ShareBoardDrawing, BlendEraserAndRepaintArea) {
    constexpr int kSide = 60;
    constexpr int kLineY = 30;
    struct Case {
        const char* name;
        int tool;
        bool blend;
        int alphaOnLine; // at the line
        int alphaAt6;    // 6 pixels off the line
        int whiteOnLine; // red channel over the line, for the eraser's white
        int reach;       // of the press's repaint area beyond the point
    };
    const Case cases[] = {
        // Half the width rounded up, and a margin of 2.
        {"pen", streaming::kToolPen, false, 255, 0, 255, 3 + 2},
        {"highlighter", streaming::kToolPen, true, 102, 0, 255, 3 + 2},
        {"eraser", streaming::kToolEraser, false, 178, 178, 255, 8 + 2},
    };
    for (const Case& c : cases) {
        auto pen = std::make_shared<FakePen>();
        pen->tool = c.tool;
        pen->blend = c.blend;
        pen->colour = 1; // red; thickness 5
        ShareBoardLayer layer;
        const ShareBoardLayer::Context context{pen, kSide};
        const QRect pressed = layer.down({10, kLineY}, context);
        EXPECT_EQ(pressed.top(), kLineY - c.reach) << c.name;
        EXPECT_EQ(pressed.bottom(), kLineY - 1 + c.reach) << c.name;
        layer.dragged({50, kLineY}, context);
        QImage picture(kSide, kSide, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        {
            QPainter painter(&picture);
            layer.draw(painter, context);
        }
        const QColor onLine = picture.pixelColor(30, kLineY);
        EXPECT_NEAR(onLine.alpha(), c.alphaOnLine, 2) << c.name;
        EXPECT_NEAR(onLine.red(), c.whiteOnLine, 2) << c.name;
        EXPECT_NEAR(picture.pixelColor(30, kLineY + 6).alpha(), c.alphaAt6, 2) << c.name;
        EXPECT_EQ(picture.pixelColor(30, kLineY + 9).alpha(), 0) << c.name;
    }
}

class ShareBoardWire : public ViewerWire {
protected:
    void SetUp() override {
        ViewerWire::SetUp();
        auto hub = panel::AppDelegate::shared().getMainViewController();
        ASSERT_TRUE(hub);
        hub->setNoteToolView(m_pen);
        hub->setStudentClient(client::gStudentClient()); // as the program's hand-over does
        ASSERT_TRUE(m_console->sendText("[MV00102]start"));
        ASSERT_TRUE(eventually([&] { return viewer() != nullptr; }));
        ASSERT_TRUE(m_console->sendText("[MV00103]1920,1080,0,0"));
        // The viewer reads the teacher's canvas when the first strip comes.
        sendStrip(1, {kGreen}, {64}, 30, 135);
        ASSERT_TRUE(m_console->waitFor("[PC00025]"));
        tick();
        ASSERT_EQ(content().getScreenCanvasWidth(), 1920);
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        ScreenShareView* view = content().canvasView();
        QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    // Top-left view points of a 1440 x 876 view (a 1440 x 900 screen less its menu bar).
    void stroke(std::vector<QPointF> points) {
        mouse(QEvent::MouseButtonPress, points.front(), Qt::LeftButton);
        for (std::size_t i = 1; i + 1 < points.size(); ++i)
            mouse(QEvent::MouseMove, points[i], Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, points.back(), Qt::NoButton);
    }
    testsupport::Stroke received() {
        auto packet = m_console->waitForBody(testsupport::kBodyStroke);
        EXPECT_TRUE(packet);
        auto parsed = packet ? testsupport::parseStroke(packet->body) : std::nullopt;
        EXPECT_TRUE(parsed);
        return parsed.value_or(testsupport::Stroke{});
    }
    using Points = std::vector<std::pair<std::int32_t, std::int32_t>>;

    std::shared_ptr<FakePen> m_pen = std::make_shared<FakePen>();
};

TEST_F(ShareBoardWire, AStrokeGoesToTheConsoleScaledToItsCanvasAndLeavesTheView) {
    stroke({{720, 438}, {0, 0}, {1440, 876}});
    const auto sent = received();
    EXPECT_EQ(sent.slot, 2);
    EXPECT_EQ(sent.tool, 0);
    EXPECT_EQ(sent.thickness, 5);
    EXPECT_EQ(sent.thicknessMode, 1);
    EXPECT_FALSE(sent.blend);
    EXPECT_EQ(sent.color, 0x0000FFu);
    // The press point stays behind; the teacher's origin is top-left.
    EXPECT_EQ(sent.points, (Points{{0, 0}, {1920, 1080}}));
    EXPECT_TRUE(content().canvasView()->shareBoard().strokes().empty());
}

TEST_F(ShareBoardWire, AClickSendsOnePointAndTheEraserIsToolFour) {
    stroke({{720, 438}, {720, 438}});
    EXPECT_EQ(received().points, (Points{{960, 540}}));
    m_pen->tool = 1;
    stroke({{720, 438}, {360, 219}, {0, 876}});
    const auto erased = received();
    EXPECT_EQ(erased.tool, 4);
    EXPECT_EQ(erased.points, (Points{{480, 270}, {0, 1080}}));
}

TEST_F(ShareBoardWire, NothingIsSentOutsideTheShareBoard) {
    for (int mode : {0, 2}) {
        m_pen->mode = mode;
        stroke({{720, 438}, {100, 100}, {200, 200}});
    }
    m_pen->mode = 3;
    stroke({{10, 10}, {20, 866}});
    // Only the share board's stroke arrives.
    EXPECT_EQ(received().points, (Points{{26, 1067}}));
    EXPECT_FALSE(m_console->waitForBody(testsupport::kBodyStroke, std::chrono::milliseconds(200)));
}

} // namespace
} // namespace viewer::test
