// The built agent on a private Xvfb display against the scripted lookup service, relay server and
// console: Return in the login window, slot registration, heartbeat, thumbnails, the lock window,
// and the end of the process with the lost-link message once the console goes silent.
#include "AgentProcess.h"
#include "support/ConsolePeer.h"
#include "support/HttpsLookupPeer.h"
#include "support/PeerBodies.h"
#include "support/RelayPeer.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>
#include <turbojpeg.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::HttpsLookupPeer;

// The built agent; OLVEX_E2E_AGENT may name another build of it.
std::string agentBinary() {
    const char* other = std::getenv("OLVEX_E2E_AGENT");
    return other && *other ? other : OLVEX_STUDENT_BINARY;
}
constexpr int kLoginWidth = 480;
constexpr int kLoginHeight = 414;
constexpr int kPermissionWidth = 500;
constexpr int kPermissionHeight = 270;
constexpr int kMessageboxWidth = 360;
constexpr int kMessageboxHeight = 140;
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 100;
// Login: 0.5 s before the lookup, a second before the registration, two before the main window.
constexpr auto kLoginWait = 60s;
// The heartbeat ticks every 10 s; the lost link is noticed at the second unanswered tick.
constexpr auto kHeartbeatWait = 25s;
constexpr auto kLostLinkWait = 40s;

struct JpegSize {
    int width = 0;
    int height = 0;
};

std::optional<JpegSize> jpegSize(const testsupport::Bytes& bytes) {
    tjhandle handle = tjInitDecompress();
    if (!handle)
        return std::nullopt;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    const int rc = tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &width,
                                       &height, &subsampling, &colorspace);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    const int decoded = rc == 0
                            ? tjDecompress2(handle, bytes.data(), static_cast<unsigned long>(bytes.size()),
                                            pixels.data(), width, 0, height, TJPF_RGB, 0)
                            : -1;
    tjDestroy(handle);
    if (decoded != 0)
        return std::nullopt;
    return JpegSize{width, height};
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"Xvfb", "xdotool"}) {
            if (!e2e::haveProgram(program))
                GTEST_SKIP() << program << " is not installed";
        }
        char pattern[] = "/tmp/olvex-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_home = pattern;
        ASSERT_TRUE(m_display.start());
        ASSERT_TRUE(m_windows.connect(m_display.name()));
        ASSERT_TRUE(m_lookup.start());
        ASSERT_TRUE(m_relayServer.start());
        ASSERT_TRUE(m_console.start());
        m_output = m_home / "agent-output.txt";
        m_log = m_home / "agent-log.txt";
    }
    void TearDown() override {
        m_console.stop();
        m_relayServer.stop();
        m_lookup.stop();
        if (!m_home.empty())
            std::filesystem::remove_all(m_home);
    }

    // The settings suite the agent reads at start: the fields of the login window and the lookup.
    void writeSettings() {
        const std::filesystem::path dir = m_home / ".config" / "olvex-student";
        std::filesystem::create_directories(dir);
        const nlohmann::json settings = {{"iOS-teacherId", "T1"},
                                         {"iOS-alias", "Kim"},
                                         {"iOS-slot", "2"},
                                         {"macOS-lookupBaseURL", m_lookup.baseUrl()}};
        std::ofstream(dir / "group.olvex.student.json") << settings.dump();
    }

    std::map<std::string, std::string> agentEnvironment() const {
        return {{"DISPLAY", m_display.name()},
                {"HOME", m_home.string()},
                {"XDG_CONFIG_HOME", (m_home / ".config").string()},
                {"QT_QPA_PLATFORM", "xcb"},
                {"LANG", "en_US.UTF-8"},
                {"LANGUAGE", "en_US"}};
    }

    // The agent with its standard output and error in one file and its system log in another.
    bool startAgent() { return startAgent(m_agent, m_output, m_log); }
    bool startAgent(e2e::ChildProcess& agent, const std::filesystem::path& output,
                    const std::filesystem::path& log) {
        auto env = agentEnvironment();
        env["LD_PRELOAD"] = OLVEX_E2E_SYSLOG_SHIM;
        env["OLVEX_E2E_LOG_FILE"] = log.string();
        env["XDG_STATE_HOME"] = stateHomeFor(log).string();
        // AddressSanitizer wants its runtime first among the libraries; the log shim comes before it.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env["ASAN_OPTIONS"] =
            std::string(asan && *asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool started = agent.start({agentBinary()}, env, -1, fd, {}, fd);
        ::close(fd);
        return started;
    }

    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Each agent keeps its own log file there when no system log listens.
    static std::filesystem::path stateHomeFor(const std::filesystem::path& log) {
        return log.string() + ".state";
    }
    // What an agent logged: through the shim where a system log listens, into its own file where none does.
    static std::string logged(const std::filesystem::path& log) {
        return read(log) + read(stateHomeFor(log) / "olvex-student/olvex-student.log");
    }

    // What a failure message carries: what the agent printed, what it logged and the windows of
    // the X server at that moment.
    std::string evidence() {
        auto told = [](const std::string& text) { return text.empty() ? std::string("(nothing)\n") : text; };
        return "\n--- the agent printed:\n" + told(read(m_output)) + "--- the agent logged:\n" +
               told(logged(m_log)) + "--- the X server's top-level windows:\n" + m_windows.describeWindows();
    }

    std::filesystem::path m_home;
    std::filesystem::path m_output;
    std::filesystem::path m_log;
    e2e::VirtualDisplay m_display;
    e2e::WindowWatcher m_windows;
    HttpsLookupPeer m_lookup;
    testsupport::RelayPeer m_relayServer{testsupport::RelayPeer::Role::Login};
    testsupport::ConsolePeer m_console;
    e2e::ChildProcess m_agent;
};

TEST_F(EndToEndTest, JoinsTheClassSendsThumbnailsObeysTheLockAndEndsWhenTheConsoleFallsSilent) {
    const auto answer = HttpsLookupPeer::lookupAnswer({{"result", "true"},
                                                       {"code", "0"},
                                                       {"rsip", "127.0.0.1"},
                                                       {"rsport", std::to_string(m_relayServer.port())}});
    ASSERT_TRUE(answer);
    m_lookup.setResponse(HttpsLookupPeer::kStatusOk, *answer);
    testsupport::RelayPeer::LoginScript script;
    script.teacherPort = std::to_string(m_console.port());
    m_relayServer.setLoginScript(script);
    m_console.setVersion("2.0.11.57");
    writeSettings();

    ASSERT_TRUE(startAgent());
    const auto login = m_windows.waitForWindow(kLoginWidth, kLoginHeight, kLoginWait);
    ASSERT_TRUE(login) << "no login window" << evidence();
    const auto env = agentEnvironment();
    ASSERT_EQ(e2e::runCommand({"xdotool", "windowfocus", "--sync", std::to_string(login->id)}, env), 0);
    ASSERT_EQ(e2e::runCommand({"xdotool", "key", "Return"}, env), 0);

    // The login: the lookup, the registration with the relay server, the slot check's answers.
    const auto lookup = m_lookup.waitForRequest(kLoginWait);
    ASSERT_TRUE(lookup) << "no lookup" << evidence();
    EXPECT_EQ(HttpsLookupPeer::parseLookupRequest(*lookup)->val3, "T1");
    ASSERT_TRUE(m_relayServer.waitFor("[US00001]", kLoginWait)) << "no relay registration" << evidence();
    ASSERT_TRUE(m_console.waitFor("[PC00029]", kLoginWait)) << "no login slot check" << evidence();

    // Slot registration on the session link (the second link the console accepted).
    const auto registration = m_console.waitFor("[PC00002]", kLoginWait);
    ASSERT_TRUE(registration) << "no slot registration" << evidence();
    EXPECT_EQ(registration->params(), "2,Kim,0,0,0,0,false");
    EXPECT_EQ(registration->link, 1u);

    ASSERT_TRUE(m_console.waitFor("[PC00003]", kHeartbeatWait)) << "no heartbeat" << evidence();

    ASSERT_TRUE(m_console.sendText("[MV00001]" + std::to_string(kThumbWidth) + "," +
                                   std::to_string(kThumbHeight) + ",300,50"));
    for (int i = 0; i < 2; ++i) {
        const auto packet = m_console.waitForBody(testsupport::kBodyImage, 10s);
        ASSERT_TRUE(packet) << "thumbnail " << i << evidence();
        const auto image = testsupport::parseScreenImage(packet->body);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, static_cast<std::uint32_t>(kThumbWidth));
        EXPECT_EQ(image->height, static_cast<std::uint32_t>(kThumbHeight));
        const auto jpeg = jpegSize(image->image);
        ASSERT_TRUE(jpeg) << "not a JPEG";
        EXPECT_EQ(jpeg->width, kThumbWidth);
        EXPECT_EQ(jpeg->height, kThumbHeight);
    }

    ASSERT_TRUE(m_console.sendText("[MV00050]true"));
    // The lock window covers the screen's width from its bottom edge, below any panel strip.
    const auto covers = [](const e2e::WindowInfo& w) {
        return w.x == 0 && w.width == e2e::VirtualDisplay::kWidth &&
               w.height > e2e::VirtualDisplay::kHeight / 2;
    };
    EXPECT_TRUE(m_windows.waitForWindow(covers, 10s)) << "no lock window" << evidence();

    m_console.setHeartbeatAnswers(false);
    EXPECT_TRUE(m_windows.waitForWindow(kMessageboxWidth, kMessageboxHeight, kLostLinkWait))
        << "no lost-link message" << evidence();
    EXPECT_EQ(m_agent.waitForExit(kLostLinkWait), 0) << evidence();
}

// The student types at once, on an X server without a window manager: the keys land in the login
// window's teacher-ID field (after the stored "T1"), and Return sends the lookup with what was typed.
TEST_F(EndToEndTest, KeysTypedAtStartLandInTheTeacherIdField) {
    const auto answer = HttpsLookupPeer::lookupAnswer({{"result", "false"}, {"code", "2"}});
    ASSERT_TRUE(answer);
    m_lookup.setResponse(HttpsLookupPeer::kStatusOk, *answer);
    writeSettings();

    ASSERT_TRUE(m_agent.start({agentBinary()}, agentEnvironment()));
    const auto login = m_windows.waitForWindow(kLoginWidth, kLoginHeight, kLoginWait);
    ASSERT_TRUE(login) << "no login window";
    ASSERT_TRUE(m_windows.waitForFocus(login->id, 10s)) << "the login window never got the keyboard";
    // Through XTest, as the keyboard sends them to whoever holds the focus.
    ASSERT_EQ(e2e::runCommand({"xdotool", "key", "7", "Return"}, agentEnvironment()), 0);
    const auto lookup = m_lookup.waitForRequest(kLoginWait);
    ASSERT_TRUE(lookup) << "no lookup";
    EXPECT_EQ(HttpsLookupPeer::parseLookupRequest(*lookup)->val3, "T17");
}

// One agent per desktop: a second start on the display finds the first, asks its windows forward
// (here the login window, which another program's window covers) and ends at once without a window
// or a power assertion of its own; the first's windows stay as they were. Once the first is gone,
// however abruptly, a new start runs.
TEST_F(EndToEndTest, ASecondStartBringsTheRunningAgentForwardAndEnds) {
    constexpr auto kSecondStartWait = 10s;
    writeSettings();
    ASSERT_TRUE(startAgent());
    const auto login = m_windows.waitForWindow(kLoginWidth, kLoginHeight, kLoginWait);
    ASSERT_TRUE(login) << "no login window" << evidence();
    // The permission window closes once the login window is open; then the agent's windows stand.
    ASSERT_TRUE(m_windows.waitUntil(
        [this] {
            const auto windows = m_windows.mappedWindows();
            return std::none_of(windows.begin(), windows.end(), [](const e2e::WindowInfo& w) {
                return w.width == kPermissionWidth && w.height == kPermissionHeight;
            });
        },
        10s))
        << evidence();
    const auto stackedAbove = [this](xcb_window_t upper, xcb_window_t lower) {
        const std::vector<xcb_window_t> order = m_windows.topLevelWindows();
        const auto up = std::find(order.begin(), order.end(), upper);
        const auto low = std::find(order.begin(), order.end(), lower);
        return up != order.end() && low != order.end() && up > low;
    };
    const xcb_window_t cover = m_windows.cover(*login);
    ASSERT_TRUE(m_windows.waitUntil([&] { return stackedAbove(cover, login->id); }, 10s)) << evidence();
    const auto windowsNow = [this] {
        std::set<std::tuple<xcb_window_t, int, int, int, int>> windows;
        for (const e2e::WindowInfo& w : m_windows.mappedWindows())
            windows.insert({w.id, w.x, w.y, w.width, w.height});
        return windows;
    };
    const auto before = windowsNow();

    e2e::ChildProcess second;
    const std::filesystem::path secondOutput = m_home / "second-output.txt";
    const std::filesystem::path secondLog = m_home / "second-log.txt";
    ASSERT_TRUE(startAgent(second, secondOutput, secondLog));
    EXPECT_EQ(second.waitForExit(kSecondStartWait), 0) << read(secondOutput) << evidence();
    const std::string said = read(secondOutput);
    EXPECT_NE(said.find("already running on display " + m_display.name()), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(logged(secondLog).find("assertion"), std::string::npos) << logged(secondLog);

    EXPECT_TRUE(m_windows.waitUntil([&] { return stackedAbove(login->id, cover); }, 10s))
        << "the login window was not brought forward" << evidence();
    EXPECT_EQ(windowsNow(), before) << evidence();
    EXPECT_FALSE(m_agent.waitForExit(0ms)) << evidence();

    ASSERT_TRUE(m_agent.signal(SIGKILL));
    ASSERT_TRUE(m_agent.waitForExit(10s));
    e2e::ChildProcess third;
    ASSERT_TRUE(startAgent(third, m_home / "third-output.txt", m_home / "third-log.txt"));
    const auto newLogin = m_windows.waitForWindow(
        [&](const e2e::WindowInfo& w) {
            return w.width == kLoginWidth && w.height == kLoginHeight && w.id != login->id;
        },
        kLoginWait);
    EXPECT_TRUE(newLogin) << "the start after the first ended did not run"
                          << read(m_home / "third-output.txt") << evidence();
    EXPECT_FALSE(third.waitForExit(0ms));
}

} // namespace
