#include "platform/Log.h"
#include "startup/FirstLaunchChecker.h"
#include "startup/PowerAssertions.h"
#include "startup/ProcessStartUp.h"
#include "startup/ScreenCapturePermission.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using startup::PowerAssertions;

// Records every call of start-up in one list, so the order across the backends shows.
struct Journal {
    std::vector<std::string> calls;
};

class FakePower : public startup::PowerAssertionBackend {
public:
    FakePower(Journal& journal, int idleResult, int displayResult)
        : m_journal(journal), m_idleResult(idleResult), m_displayResult(displayResult) {}

    int createAssertion(const std::string& type, int level, const std::string& name,
                        AssertionID& id) override {
        m_journal.calls.push_back("create " + type + " " + std::to_string(level) + " " + name);
        const bool idle = type == PowerAssertions::kNoIdleSleepAssertion;
        const int result = idle ? m_idleResult : m_displayResult;
        if (result == 0)
            id = idle ? 1 : 2;
        return result;
    }
    void releaseAssertion(AssertionID id) override {
        m_journal.calls.push_back("release " + std::to_string(id));
    }

private:
    Journal& m_journal;
    int m_idleResult;
    int m_displayResult;
};

class FakePermission : public startup::ScreenCapturePermission {
public:
    FakePermission(Journal& journal, bool allowed) : m_journal(journal), m_allowed(allowed) {}
    bool preflight() override {
        m_journal.calls.push_back("preflight");
        return m_allowed;
    }
    bool requestAccess() override { return m_allowed; }
    void openPrivacySettings() override {}

private:
    Journal& m_journal;
    bool m_allowed;
};

const std::string kIdle = "create NoIdleSleepAssertion 255 Olvex Student Preventing idle Sleep";
const std::string kDisplay = "create NoDisplaySleepAssertion 255 Olvex Student Preventing display Sleep";

struct StartUpCase {
    const char* name;
    int idleResult;
    int displayResult;
    bool allowed;
    std::vector<std::string> calls;
    std::vector<std::string> logLines;
};

TEST(ProcessStartUp, RunsInOrderAndTakesEachFailurePath) {
    const std::vector<StartUpCase> cases{
        {"everything allowed",
         0,
         0,
         true,
         {kIdle, kDisplay, "preflight", "capture", "app", "release 2", "release 1"},
         {"No Idle Sleep assertion created successfully. The system will not enter idle sleep.",
          "No Display Sleep assertion created successfully. The display will not sleep.",
          "Waiting for power management events..."}},
        // No system bus: no display assertion is tried, nothing is released, start-up goes on.
        {"idle sleep refused",
         -2,
         0,
         true,
         {kIdle, "preflight", "capture", "app"},
         {"Failed to create No Idle Sleep assertion. Error: -2"}},
        // The first assertion is given back before start-up goes on without any.
        {"display sleep refused",
         0,
         -111,
         true,
         {kIdle, kDisplay, "release 1", "preflight", "capture", "app"},
         {"Failed to create No Display Sleep assertion. Error: -111"}},
        // Without capture no capture object is made, and the application still runs.
        {"capture not allowed",
         0,
         0,
         false,
         {kIdle, kDisplay, "preflight", "app", "release 2", "release 1"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Journal journal;
        std::vector<std::string> logged;
        platform::setLogSink([&](const std::string& line) { logged.push_back(line); });
        FakePower power(journal, c.idleResult, c.displayResult);
        FakePermission permission(journal, c.allowed);
        const startup::StartUpSteps steps{power, permission, [&] { journal.calls.push_back("capture"); },
                                          [&] {
                                              journal.calls.push_back("app");
                                              return 7;
                                          }};
        EXPECT_EQ(startup::runProcessStartUp(steps), 7);
        platform::setLogSink({});
        EXPECT_EQ(journal.calls, c.calls);
        for (const auto& line : c.logLines)
            EXPECT_NE(std::find(logged.begin(), logged.end(), line), logged.end()) << line;
    }
}

TEST(ScreenCapturePermission, WaylandSessionsAreRecognised) {
    struct Case {
        const char* type;
        const char* display;
        bool wayland;
    };
    for (const Case& c :
         {Case{"wayland", nullptr, true}, Case{"x11", nullptr, false}, Case{nullptr, nullptr, false},
          Case{"x11", "wayland-0", true}, Case{"tty", "", false}}) {
        EXPECT_EQ(startup::X11ScreenCapturePermission::isWaylandSession(c.type, c.display), c.wayland);
    }
}

class FirstLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("olvex-launch-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_path = (m_dir / "launch_status.plist").string();
        platform::setLogSink([this](const std::string& line) { m_logged.push_back(line); });
    }
    void TearDown() override {
        platform::setLogSink({});
        fs::remove_all(m_dir);
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    bool logged(const std::string& line) const {
        return std::find(m_logged.begin(), m_logged.end(), line) != m_logged.end();
    }

    fs::path m_dir;
    std::string m_path;
    std::vector<std::string> m_logged;
};

TEST_F(FirstLaunch, MissingFileAnswersYesOnceAndIsWritten) {
    EXPECT_EQ(startup::FirstLaunchChecker::plistFilePath(), "/tmp/launch_status.plist");
    EXPECT_TRUE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
    EXPECT_TRUE(logged("✅ First launch status written to plist."));
    const std::string text = read(m_path);
    EXPECT_NE(text.find("<key>hasLaunchedBefore</key>"), std::string::npos);
    EXPECT_NE(text.find("<true/>"), std::string::npos);
    EXPECT_FALSE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
    // Only the one file remains: the temporary file was renamed into place.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(FirstLaunch, ExistingDictionaryIsNotRewritten) {
    const std::string own = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict/>\n</plist>\n";
    write(m_path, own);
    EXPECT_FALSE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
    EXPECT_EQ(read(m_path), own);
}

TEST_F(FirstLaunch, UnreadableContentsAreReplaced) {
    for (const std::string& bad : {std::string("garbage"), std::string("<plist><array/></plist>"),
                                   std::string("<plist><dict>"), std::string(70 * 1024, 'x')}) {
        write(m_path, bad);
        EXPECT_TRUE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
        EXPECT_EQ(read(m_path), startup::FirstLaunchChecker::statusDocument());
    }
}

TEST_F(FirstLaunch, LinkAtThePathIsNeitherReadNorWrittenThrough) {
    const std::string target = (m_dir / "someone-elses-file").string();
    const std::string theirs = "<plist version=\"1.0\">\n<dict/>\n</plist>\n";
    write(target, theirs);
    fs::create_symlink(target, m_path);
    // The link is not followed, so its target's dictionary does not count ...
    EXPECT_TRUE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
    // ... and the new file replaces the link instead of overwriting the target.
    EXPECT_FALSE(fs::is_symlink(m_path));
    EXPECT_TRUE(fs::is_regular_file(m_path));
    EXPECT_EQ(read(target), theirs);
    EXPECT_FALSE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
}

TEST_F(FirstLaunch, UnwritablePathStillAnswersYesAndSaysSo) {
    fs::create_directories(m_path); // a folder where the file should be: rename cannot replace it
    EXPECT_TRUE(startup::FirstLaunchChecker::isFirstLaunchAt(m_path));
    EXPECT_TRUE(logged("⚠️ Failed to write launch status plist."));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()),
              1); // no stray temp file
}

} // namespace
