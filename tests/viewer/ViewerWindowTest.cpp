// The viewer's window under the offscreen platform: a broadcast opens one full-screen viewer at its
// level (a second one reuses it and reads the mode again), the teacher's stop closes it, and the
// student's keys and mouse reach the client's events only while answers are on.
#include "ViewerTestSupport.h"
#include "client/ClientEvents.h"
#include "client/SettingsKeys.h"
#include "panel/MainViewController.h"
#include "platform/PlatformTestSupport.h"
#include "platform/UserDefaults.h"
#include "support/PanelTestSupport.h"
#include "viewer/ScreenShareViewController.h"
#include "viewer/ScreenShareWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <atomic>
#include <random>
#include <thread>

namespace viewer {
namespace {

namespace keys = client::settings;
using namespace viewertest;

class ViewerWindow : public paneltest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        registerViewerWindows();
        m_settings = platform::UserDefaults::suite();
        m_settings->setString(keys::kServerWidth, "1920");
        m_settings->setString(keys::kServerHeight, "1080");
        m_main = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        ASSERT_TRUE(m_main);
        m_main->showWindow();
        auto& center = platform::NotificationCenter::defaultCenter();
        m_tokens.push_back(center.addObserver(client::events::kKeyboardData, nullptr, [this](const auto& n) {
            m_posted.push_back(n.dictionary()->at(client::events::kKeyKeyboardData));
        }));
        m_tokens.push_back(center.addObserver(client::events::kMouseData, nullptr, [this](const auto& n) {
            m_posted.push_back(n.dictionary()->at(client::events::kKeyMouseData));
        }));
    }
    void TearDown() override {
        for (auto token : m_tokens)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        m_main.reset();
        WindowsTest::TearDown();
    }

    // The teacher's broadcast in a mode ("1" answer, "2" share) over the 1440 x 900 screen.
    void broadcast(const char* mode) {
        m_settings->setString(keys::kCanvasWidth, "1440");
        m_settings->setString(keys::kCanvasHeight, "900");
        m_settings->setString(keys::kScreenInit, mode);
        platform::NotificationCenter::defaultCenter().post(client::events::kBroadcast);
        m_loop.runUntilIdle();
    }
    ScreenShareWindowController* viewer() {
        return dynamic_cast<ScreenShareWindowController*>(
            panel::AppDelegate::shared().getScreenShareWindowController().get());
    }
    void key(QEvent::Type type, int xKey, bool autoRepeat = false) {
        QKeyEvent event(type, 0, Qt::NoModifier, static_cast<quint32>(xKey), 0, 0, QString(), autoRepeat);
        QApplication::sendEvent(viewer()->window(), &event);
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button) {
        QMouseEvent event(type, at, at, at, button, button, Qt::NoModifier);
        QApplication::sendEvent(viewer()->viewer()->canvasView(), &event);
    }

    std::shared_ptr<platform::UserDefaults> m_settings;
    std::shared_ptr<desktop::WindowController> m_main;
    std::vector<platform::ObserverToken> m_tokens;
    std::vector<std::string> m_posted;
};

TEST_F(ViewerWindow, ABroadcastOpensOneFullScreenViewerAndTheStopClosesIt) {
    m_settings->setString("macOS-data-sended", "1");
    broadcast("1");
    ASSERT_TRUE(viewer());
    EXPECT_EQ(openWindows(desktop::level::kScreenShareViewer).size(), 1u);
    EXPECT_EQ(viewer()->window()->frame(), (desktop::Frame{0, 0, 1440, 876}));
    EXPECT_EQ(m_settings->stringValue("macOS-data-sended"), "0");
    EXPECT_TRUE(viewer()->viewer()->getAnswerEnabled());
    auto first = panel::AppDelegate::shared().getScreenShareWindowController();

    broadcast("2"); // the second reuses the open viewer and reads its mode again
    EXPECT_EQ(openWindows(desktop::level::kScreenShareViewer).size(), 1u);
    EXPECT_EQ(panel::AppDelegate::shared().getScreenShareWindowController(), first);
    EXPECT_FALSE(viewer()->viewer()->getAnswerEnabled());
    EXPECT_EQ(viewer()->viewer()->model().shareGrid().tileCount(), 32u * 4u);

    platform::NotificationCenter::defaultCenter().post(client::events::kBroadcastStop);
    m_loop.runUntilIdle();
    EXPECT_TRUE(openWindows(desktop::level::kScreenShareViewer).empty());
    EXPECT_FALSE(panel::AppDelegate::shared().getScreenShareWindowController());
    EXPECT_FALSE(panel::AppDelegate::shared().getScreenShareViewController());
    // Updates after the close reach nobody.
    platform::NotificationCenter::defaultCenter().post(
        client::events::kScreenData, nullptr,
        platform::Dictionary{
            {client::events::kKeyCombinedDib, client::archiveAsText(updateArchive({1}, {0}))}});
    EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount(client::events::kScreenData), 0u);
}

TEST_F(ViewerWindow, ClosingWhileAReceiveThreadPostsUpdatesLosesNothingAndTouchesNoClosedViewer) {
    broadcast("1");
    const std::string update = client::archiveAsText(updateArchive(jpegStrip({kRed}, 180, 225), {0}));
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0};
    std::thread receive([&] {
        while (!stop.load()) {
            platform::NotificationCenter::defaultCenter().post(
                client::events::kScreenData, nullptr,
                platform::Dictionary{{client::events::kKeyCombinedDib, update}});
            ++posted;
        }
    });
    while (posted.load() < 50)
        std::this_thread::yield();
    m_loop.advance(ScreenShareViewController::kRefreshInterval);
    EXPECT_EQ(viewer()->viewer()->model().answerGrid().tile(0).m_bInit, true);
    platform::NotificationCenter::defaultCenter().post(client::events::kBroadcastStop);
    m_loop.runUntilIdle();
    const int atClose = posted.load();
    while (posted.load() < atClose + 50)
        std::this_thread::yield();
    stop = true;
    receive.join();
    EXPECT_FALSE(viewer());
    EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount(client::events::kScreenData), 0u);
}

// Far more updates wait than the list's bound, each naming a random tile in a random colour; the
// second half names only the first half of the grid, so the tiles of the other half were last sent
// in updates long behind. Every tile still ends in the last colour sent for it.
TEST_F(ViewerWindow, UnderAnUpdateFloodEveryTileEndsInItsLastColour) {
    broadcast("2"); // share: 32 x 4 tiles of 45 x 225
    ScreenShareViewController& content = *viewer()->viewer();
    const TileGrid& grid = content.model().shareGrid();
    ASSERT_EQ(grid.tileCount(), 128u);
    const Rgb colours[] = {kRed, kGreen, kBlue, kYellow};
    std::vector<std::vector<std::uint8_t>> pictures;
    for (const Rgb& colour : colours)
        pictures.push_back(jpegStrip({colour}, 45, 225));
    std::mt19937 random(20);
    std::vector<int> last(grid.tileCount(), -1);
    constexpr int kUpdatesPerHalf = 700; // together far past the list's 512
    for (int i = 0; i < 2 * kUpdatesPerHalf; ++i) {
        const std::uint32_t tiles = i < kUpdatesPerHalf ? 128 : 64;
        // Every tile once first, then at random.
        const auto tile =
            i < 128 ? static_cast<std::uint32_t>(i) : static_cast<std::uint32_t>(random() % tiles);
        const auto colour = static_cast<int>(random() % 4);
        last[tile] = colour;
        platform::NotificationCenter::defaultCenter().post(
            client::events::kScreenData, nullptr,
            platform::Dictionary{{client::events::kKeyCombinedDib,
                                  client::archiveAsText(updateArchive(pictures[colour], {tile}, i))}});
    }
    for (int tick = 0; tick < 1000 && content.waitingUpdates() > 0; ++tick)
        m_loop.advance(ScreenShareViewController::kRefreshInterval);
    ASSERT_EQ(content.waitingUpdates(), 0u);
    for (std::size_t n = 0; n < grid.tileCount(); ++n) {
        const CRect& r = grid.tile(n).m_rect;
        const Pixel p = pixelAt(content.model().canvas().image(), static_cast<int>(r.left) + 22,
                                static_cast<int>(r.top) + 112);
        ASSERT_NE(last[n], -1);
        EXPECT_TRUE(near(p, colours[last[n]])) << "tile " << n;
    }
}

// The console may send H.264 frames without pause: 10,000 of them log their arrival a few times a
// second of the main clock, and the next line let through counts the rest.
TEST_F(ViewerWindow, ArrivingFramesAreLoggedAFewTimesASecond) {
    constexpr std::size_t kFrames = 10'000;
    constexpr std::size_t kFewLines = 5;
    constexpr const char* kLine = "H264 Data added";
    broadcast("1");
    const std::uint8_t delimiter[] = {0, 0, 0, 1, 0x09, 0xF0}; // an access-unit delimiter alone
    const std::string frame = client::H264Sample()
                                  .h264Data(delimiter, static_cast<std::int32_t>(sizeof delimiter), 1)
                                  .archiveText();
    const auto post = [&frame] {
        platform::NotificationCenter::defaultCenter().post(
            client::events::kScreenH264Data, nullptr,
            platform::Dictionary{{client::events::kKeyH264, frame}});
    };
    const auto linesWith = [this](const std::string& part) {
        return static_cast<std::size_t>(
            std::count_if(m_logged.begin(), m_logged.end(),
                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    };
    // Whatever was held back before is reported here, before the count starts.
    post();
    m_loop.advance(1.0);
    m_logged.clear();
    for (std::size_t i = 0; i < kFrames; ++i)
        post();
    const std::size_t written = linesWith(kLine);
    EXPECT_GE(written, 1u);
    EXPECT_LE(written, kFewLines);
    m_loop.advance(1.0);
    post();
    ASSERT_EQ(linesWith(kLine), written + 1);
    EXPECT_LE(m_logged.size(), 4 * kFewLines) << "lines of any kind";
    const std::string& last = m_logged.back();
    EXPECT_NE(last.find("(" + std::to_string(kFrames - written) + " more like it held back)"),
              std::string::npos)
        << last;
}

// The console opens and closes the viewer with a broadcast and its stop, and can repeat the pair
// without end; each viewer that showed a frame made a decoder. The lines each opening writes are
// held to a few a second, the last of each kind counting the rest.
TEST_F(ViewerWindow, AViewerOpenedAndClosedWithoutEndLogsAFewLinesASecond) {
    constexpr int kOpenings = 200;
    constexpr std::size_t kFewLines = 60;
    constexpr double kTicks = 0.02;
    const std::uint8_t delimiter[] = {0, 0, 0, 1, 0x09, 0xF0};
    const std::string frame = client::H264Sample()
                                  .h264Data(delimiter, static_cast<std::int32_t>(sizeof delimiter), 1)
                                  .archiveText();
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto openShowAndClose = [&] {
        broadcast("1");
        center.post(client::events::kScreenH264Data, nullptr,
                    platform::Dictionary{{client::events::kKeyH264, frame}});
        m_loop.advance(kTicks);
        center.post(client::events::kBroadcastStop);
        m_loop.runUntilIdle();
    };
    // Whatever was held back before is reported here, before the count starts.
    m_loop.advance(1.0);
    openShowAndClose();
    m_loop.advance(1.0);
    m_logged.clear();
    for (int i = 0; i < kOpenings; ++i)
        openShowAndClose();
    m_loop.advance(1.0);
    openShowAndClose();
    EXPECT_TRUE(openWindows(desktop::level::kScreenShareViewer).empty());
    const auto lines = agentLines();
    EXPECT_LT(lines.size(), kFewLines);
    using platform::testing::faultsLogged;
    EXPECT_EQ(faultsLogged(lines, "View Did Appear"), kOpenings + 1u);
    EXPECT_EQ(faultsLogged(lines, "Initiallize completed"), kOpenings + 1u);
}

TEST_F(ViewerWindow, KeysReachTheTeacherOnlyWhileAnswersAreOn) {
    broadcast("1");
    key(QEvent::KeyPress, 38); // A
    key(QEvent::KeyRelease, 38);
    key(QEvent::KeyPress, 50);         // left Shift
    key(QEvent::KeyRelease, 50, true); // an auto-repeat release changes nothing
    key(QEvent::KeyPress, 38);
    key(QEvent::KeyRelease, 50);
    key(QEvent::KeyPress, 37); // left Control, then the window loses the keyboard
    QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(viewer()->window(), &focusOut);
    key(QEvent::KeyPress, 38);
    key(QEvent::KeyPress, 130); // Hangul: the language key
    key(QEvent::KeyRelease, 130);
    EXPECT_EQ(m_posted, (std::vector<std::string>{"[PC00603]1E9E", "[PC00603]2A1E9EAA", "[PC00603]1E9E",
                                                  "[PC00603]E072E0F2", "[PC00604]"}));
    m_posted.clear();
    broadcast("2"); // share mode: view only
    key(QEvent::KeyPress, 38);
    key(QEvent::KeyRelease, 130);
    EXPECT_TRUE(m_posted.empty());
}

TEST_F(ViewerWindow, MouseActionsReachTheTeacherOnlyWhileAnswersAreOn) {
    broadcast("1");
    mouse(QEvent::MouseButtonPress, {720, 438}, Qt::LeftButton);
    mouse(QEvent::MouseButtonDblClick, {720, 438}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {0, 0}, Qt::RightButton);
    mouse(QEvent::MouseButtonPress, {1440, 876}, Qt::MiddleButton);
    QWheelEvent wheel({10, 10}, {10, 10}, {}, {0, -300}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(viewer()->viewer()->canvasView(), &wheel);
    EXPECT_EQ(m_posted, (std::vector<std::string>{"960,540,513", "960,540,513", "0,0,517", "1920,1080,519",
                                                  "0,-200,522"}));
    m_posted.clear();
    broadcast("2");
    mouse(QEvent::MouseButtonPress, {720, 438}, Qt::LeftButton);
    QApplication::sendEvent(viewer()->viewer()->canvasView(), &wheel);
    EXPECT_TRUE(m_posted.empty());
}

} // namespace
} // namespace viewer
