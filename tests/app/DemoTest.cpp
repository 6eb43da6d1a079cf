// `make demo` as a user runs it, on a private Xvfb display: the whole class plays to its end, the
// agent ends with status 0, the story names every step, each step left its screenshot, and the
// files the class received and saved and the agent's log are kept beside the screenshots.
#include "AgentProcess.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The class takes under a minute; a loaded machine gets twice that before the test gives up.
constexpr auto kDemoWait = 150s;
constexpr std::size_t kScreenshotsAtLeast = 11;
constexpr const char* kShotsLine = "demo: screenshots of each step are in ";
constexpr const char* kKeptLine = "demo: kept there: ";
// The files the class sends each way, as the demo's class writes them.
// The files the class sends each way, as the demo's class writes them, kept under names that say
// which they are ("07-received-homework.txt"); the agent names a file it sends after the seat and
// the student too.
constexpr const char* kReceivedMark = "-received-";
constexpr const char* kReceivedText = "1. Read chapter 3.\n2. Draw the three shapes of today's lesson.\n";
constexpr const char* kSentMark = "-sent-";
constexpr const char* kSentText = "1. The circle, the square and the triangle.\n2. Done.\n";
constexpr const char* kSavedMark = "-saved-";
constexpr const char* kLogName = "olvex-student.log";
constexpr const char* kSystemLogSocket = "/dev/log";
const std::map<std::string, std::string> kKeptEndings{
    {kReceivedMark, "homework.txt"}, {kSentMark, "my-answers.txt"}, {kSavedMark, "board.jpg"}};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

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
    std::map<std::string, std::filesystem::path> kept;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(shots, error)) {
        const std::string name = entry.path().filename().string();
        bool isKept = name.rfind(kLogName, 0) == 0;
        for (const auto& [mark, ending] : kKeptEndings) {
            if (name.find(mark) != std::string::npos) {
                isKept = true;
                EXPECT_TRUE(endsWith(name, ending)) << name;
                EXPECT_EQ(kept.count(mark), 0u) << "a second file " << name;
                kept[mark] = entry.path();
            }
        }
        if (name == kLogName)
            kept[kLogName] = entry.path();
        if (!isKept && entry.file_size() > 0)
            ++count;
    }
    EXPECT_GE(count, kScreenshotsAtLeast) << shots;

    // The story's files outlive the scratch home, and the closing lines say where each is.
    for (const auto& [mark, ending] : kKeptEndings) {
        ASSERT_EQ(kept.count(mark), 1u) << "no file " << mark << ending << " beside the screenshots:\n"
                                        << told;
        EXPECT_NE(told.find(kKeptLine + kept[mark].string() + "\n"), std::string::npos)
            << "the closing lines do not name " << kept[mark] << ":\n"
            << told;
    }
    EXPECT_EQ(contentOf(kept[kReceivedMark]), kReceivedText);
    EXPECT_EQ(contentOf(kept[kSentMark]), kSentText);
    EXPECT_EQ(contentOf(kept[kSavedMark]).rfind("\xFF\xD8", 0), 0u) << "the board is kept as a JPEG file";
    if (std::filesystem::exists(kSystemLogSocket)) {
        EXPECT_NE(told.find("demo: the agent logged to the system log"), std::string::npos) << told;
    } else {
        ASSERT_EQ(kept.count(kLogName), 1u) << "the agent's log is not beside the screenshots:\n" << told;
        EXPECT_NE(contentOf(kept[kLogName]).find("olvex-student["), std::string::npos) << kept[kLogName];
        EXPECT_NE(told.find("demo: the agent's log is kept there as " + kept[kLogName].string() + "\n"),
                  std::string::npos)
            << told;
    }
    std::filesystem::remove_all(shots, error);
}

} // namespace
