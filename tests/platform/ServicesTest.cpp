#include "PlatformTestSupport.h"
#include "platform/LocalizedStrings.h"
#include "platform/Log.h"
#include "platform/LogFile.h"
#include "platform/ProcessInfo.h"
#include "platform/Workspace.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class LocalizedStringsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir.path() + "/strings");
        std::ofstream(m_dir.path() + "/strings/ko.json")
            << R"({"ZQ_NOTIFICATION_EXIT": "종료하시겠습니까?", "n": 3})";
        std::ofstream(m_dir.path() + "/strings/en.json") << R"({"ZQ_NOTIFICATION_EXIT": "Exit?"})";
        m_savedResources = resourcesDirectory();
        setResourcesDirectory(m_dir.path());
    }
    void TearDown() override {
        setPreferredLanguagesForTesting({});
        setResourcesDirectory(m_savedResources);
    }
    testing::TempDir m_dir;
    std::string m_savedResources;
};

TEST_F(LocalizedStringsTest, FirstPreferredLanguageChoosesTheTable) {
    const struct {
        std::vector<std::string> languages;
        const char* expected;
    } cases[] = {
        {{"ko-KR", "en-US"}, "종료하시겠습니까?"},
        {{"ko"}, "종료하시겠습니까?"},
        {{"en-US", "ko-KR"}, "Exit?"},
        {{"ja-JP"}, "Exit?"},
    };
    for (const auto& c : cases) {
        setPreferredLanguagesForTesting(c.languages);
        EXPECT_EQ(firstPreferredLanguage(), c.languages.front());
        EXPECT_EQ(localizedString("ZQ_NOTIFICATION_EXIT"), c.expected) << c.languages.front();
    }
}

TEST(ResourcesDirectory, FoundInTheShareFolderOfTheExecutablesPrefix) {
    testing::TempDir root;
    const std::string r = root.path();
    fs::create_directories(r + "/usr/share/olvex-student/strings");
    fs::create_directories(r + "/build/share/olvex-student/strings");
    fs::create_directories(r + "/bare/bin");
    fs::create_directories(r + "/deep/a/b/c/share/olvex-student/strings");
    const struct {
        const char* executable;
        std::string expected;
    } cases[] = {
        {"/usr/bin/olvex-student", r + "/usr/share/olvex-student"},               // installed
        {"/build/app/olvex-student", r + "/build/share/olvex-student"},           // build tree
        {"/build/tests/platform/desktop/test", r + "/build/share/olvex-student"}, // its test programs
        {"/bare/bin/olvex-student", ""},                                          // no bundle
        {"/deep/a/b/c/d/e/f/g/olvex-student", ""},                                // too far above
    };
    for (const auto& c : cases)
        EXPECT_EQ(findResourcesDirectory(r + c.executable), c.expected) << c.executable;
}

TEST_F(LocalizedStringsTest, MissingKeysAndTablesGiveEmptyText) {
    setPreferredLanguagesForTesting({"ko-KR"});
    testing::LogCapture log;
    EXPECT_EQ(localizedString("no_such_key"), "");
    EXPECT_EQ(localizedString("n"), ""); // not a text
    setResourcesDirectory(m_dir.path() + "/nowhere");
    EXPECT_EQ(localizedString("ZQ_NOTIFICATION_EXIT"), "");
    EXPECT_TRUE(log.contains("missing"));
}

TEST(PreferredLanguages, ComeFromTheLocaleVariables) {
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    const struct {
        const char* values[4];
        std::vector<std::string> expected;
    } cases[] = {
        {{nullptr, nullptr, nullptr, "ko_KR.UTF-8"}, {"ko-KR"}},
        {{nullptr, "en_US.UTF-8", nullptr, "ko_KR.UTF-8"}, {"en-US"}},
        {{nullptr, nullptr, "de_DE@euro", "ko_KR.UTF-8"}, {"de-DE"}},
        {{"ko_KR:en_US", "en_US.UTF-8", nullptr, nullptr}, {"ko-KR", "en-US"}},
        {{nullptr, nullptr, nullptr, "C"}, {"en"}},
        {{nullptr, nullptr, nullptr, nullptr}, {"en"}},
    };
    std::string saved[4];
    bool had[4];
    for (int i = 0; i < 4; ++i) {
        const char* v = std::getenv(names[i]);
        had[i] = v != nullptr;
        saved[i] = v ? v : "";
    }
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            if (c.values[i])
                setenv(names[i], c.values[i], 1);
            else
                unsetenv(names[i]);
        }
        EXPECT_EQ(preferredLanguages(), c.expected);
    }
    for (int i = 0; i < 4; ++i) {
        if (had[i])
            setenv(names[i], saved[i].c_str(), 1);
        else
            unsetenv(names[i]);
    }
}

TEST(ProcessInfo, VersionFromKernelRelease) {
    const struct {
        const char* release;
        const char* expected;
    } cases[] = {
        {"6.1.0-18-amd64", "6.1.0"},
        {"5.10", "5.10.0"},
        {"5.15.0-rc3", "5.15.0"},
        {"4", "4.0.0"},
        {"", "0.0.0"},
        {"x.y", "0.0.0"},
        {"6.8.12+deb", "6.8.12"},
        {"3.2.1.9", "3.2.1"},
        {"99999999999999999999999.1", "0.1.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(operatingSystemVersionFromRelease(c.release), c.expected) << c.release;
    const std::string running = operatingSystemVersion();
    EXPECT_EQ(std::count(running.begin(), running.end(), '.'), 2);
}

TEST(ProcessInfo, TerminateRunsTheHookAndReturns) {
    int status = -1;
    setTerminateHook([&](int s) { status = s; });
    terminate(3);
    setTerminateHook({});
    EXPECT_EQ(status, 3);
}

TEST(ProcessInfo, TerminateWithoutHookEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            // A static whose destructor must not run: _exit skips it.
            struct Loud {
                ~Loud() { std::abort(); }
            };
            static Loud loud;
            (void)loud;
            terminate(7);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST(Log, SinkReceivesFormattedLinesIncludingLongOnes) {
    testing::LogCapture log;
    logf("[ZQ]%s %d", "slot", 12);
    const std::string longText(2000, 'x');
    logf("[ZQ_RELAY]%s", longText.c_str());
    logLine("[PC00004]plain");
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[ZQ]slot 12");
    EXPECT_EQ(lines[1], "[ZQ_RELAY]" + longText);
    EXPECT_EQ(lines[2], "[PC00004]plain");
    flushLog();
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where no system log listens the lines go to a private file that never grows past its bound.
TEST(LogFile, AppendsStampedLinesInPrivateFoldersAndStaysWithinItsBound) {
    testing::TempDir dir;
    const std::string path = dir.path() + "/state/olvex-student/olvex-student.log";
    constexpr std::uint64_t kLimit = 1000;
    LogFile file(path, kLimit);
    ASSERT_TRUE(file.write("[ZQ]first"));
    EXPECT_NE(fileText(path).find("olvex-student[" + std::to_string(::getpid()) + "]: [ZQ]first\n"),
              std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() + "/state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(file.write("[ZQ]line " + std::to_string(i)));
    ASSERT_TRUE(file.write(std::string(3 * kLimit, 'x')));
    EXPECT_LE(fs::file_size(path), kLimit);
    EXPECT_LE(fs::file_size(path + ".1"), kLimit);
    EXPECT_NE(fileText(path + ".1").find("[ZQ]line 499\n"), std::string::npos);
    EXPECT_NE(fileText(path).find("xxx"), std::string::npos);
}

TEST(LogFile, APlantedLinkAtItsNameIsNotFollowed) {
    testing::TempDir dir;
    const std::string target = dir.path() + "/elsewhere";
    std::ofstream(target) << "kept";
    ASSERT_EQ(::symlink(target.c_str(), (dir.path() + "/olvex-student.log").c_str()), 0);
    LogFile file(dir.path() + "/olvex-student.log");
    EXPECT_FALSE(file.write("[ZQ]line"));
    EXPECT_EQ(fileText(target), "kept");
}

TEST(LogFile, TheSystemLogIsUsedOnlyWhereASocketListens) {
    testing::TempDir dir;
    EXPECT_FALSE(systemLogListens(dir.path() + "/missing"));
    std::ofstream(dir.path() + "/plain") << "";
    EXPECT_FALSE(systemLogListens(dir.path() + "/plain"));

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir.path() + "/log";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(systemLogListens(socketPath));
    ::close(fd);
}

TEST(LogFile, LivesUnderTheStateHome) {
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedState = oldState ? oldState : "";
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("XDG_STATE_HOME", "/srv/state", 1);
    EXPECT_EQ(logFilePath(), "/srv/state/olvex-student/olvex-student.log");
    ::setenv("XDG_STATE_HOME", "relative", 1);
    ::setenv("HOME", "/home/kim", 1);
    EXPECT_EQ(logFilePath(), "/home/kim/.local/state/olvex-student/olvex-student.log");
    oldState ? ::setenv("XDG_STATE_HOME", savedState.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

TEST(Workspace, WithoutHandlerLogsAndAnswersFalse) {
    testing::LogCapture log;
    setWorkspaceHandlers({});
    EXPECT_FALSE(openURL("https://example.invalid/"));
    EXPECT_FALSE(revealFolder("/tmp"));
    EXPECT_EQ(log.lines().size(), 2u);

    std::string opened;
    setWorkspaceHandlers({[&](const std::string& url) {
                              opened = url;
                              return true;
                          },
                          nullptr});
    EXPECT_TRUE(openURL("x-apple.systempreferences:privacy"));
    EXPECT_EQ(opened, "x-apple.systempreferences:privacy");
    EXPECT_FALSE(revealFolder("/tmp"));
    setWorkspaceHandlers({});
}

} // namespace
} // namespace platform
