// `make demo` as a user runs it, on a private Xvfb display: the whole class plays to its end, the
// agent ends with status 0, the story names every step and each step left its screenshot.
#include "AgentProcess.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The class takes under a minute; a loaded machine gets twice that before the test gives up.
constexpr auto kDemoWait = 150s;
constexpr std::size_t kScreenshotsAtLeast = 11;
constexpr const char* kShotsLine = "demo: screenshots of each step are in ";

TEST(Demo, PlaysTheWholeClassAndTheAgentEndsWithStatusZero) {
    for (const char* program : {"Xvfb", "xdotool"}) {
        if (!e2e::haveProgram(program))
            GTEST_SKIP() << program << " is not installed";
    }
    char pattern[] = "/tmp/olvex-demo-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path story = std::filesystem::path(pattern) / "story.txt";
    const int fd = ::open(story.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    e2e::ChildProcess demo;
    const bool started =
        // A shell that chose Qt's offscreen platform still sees the class on the demo's display.
        demo.start({OLVEX_DEMO_SCRIPT, OLVEX_BUILD_DIR},
                   {{"OLVEX_AGENT", OLVEX_STUDENT_BINARY}, {"QT_QPA_PLATFORM", "offscreen"}}, -1, fd,
                   {"DISPLAY", "WAYLAND_DISPLAY"}, fd);
    ::close(fd);
    ASSERT_TRUE(started);
    const auto status = demo.waitForExit(kDemoWait);
    std::ifstream in(story);
    std::stringstream text;
    text << in.rdbuf();
    const std::string told = text.str();
    std::filesystem::remove_all(pattern);
    ASSERT_EQ(status, 0) << told;

    const std::vector<std::string> steps{"login and seat",  "thumbnails",    "live view",
                                         "lock and unlock", "message",       "shared screen in answer mode",
                                         "chat and reply",  "file received", "file sent",
                                         "board",           "lost link"};
    std::size_t from = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::string line = "[class] step " + std::to_string(i + 1) + ": " + steps[i] + ": ";
        const auto at = told.find(line, from);
        EXPECT_NE(at, std::string::npos) << "the story does not tell \"" << line << "\" in its place:\n"
                                         << told;
        if (at != std::string::npos)
            from = at;
    }
    EXPECT_NE(told.find("demo: the agent ended with status 0."), std::string::npos) << told;

    const auto shotsAt = told.find(kShotsLine);
    ASSERT_NE(shotsAt, std::string::npos) << told;
    const auto end = told.find('\n', shotsAt);
    const std::filesystem::path shots =
        told.substr(shotsAt + std::strlen(kShotsLine), end - shotsAt - std::strlen(kShotsLine));
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(shots, error)) {
        if (entry.file_size() > 0)
            ++count;
    }
    EXPECT_GE(count, kScreenshotsAtLeast) << shots;
    std::filesystem::remove_all(shots, error);
}

} // namespace
