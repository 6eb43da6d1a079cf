#include "platform/UserDefaults.h"

#include "PlatformTestSupport.h"
#include "platform/ManualRunLoop.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Each test gets its own config folder and a fresh process-wide registry.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_configHome = m_dir.path() + "/config";
        setenv("XDG_CONFIG_HOME", m_configHome.c_str(), 1);
        UserDefaults::resetForTesting();
    }
    void TearDown() override {
        UserDefaults::resetForTesting();
        unsetenv("XDG_CONFIG_HOME");
    }
    std::string settingsFile() const { return m_configHome + "/olvex-student/group.olvex.student.json"; }

    testing::TempDir m_dir;
    std::string m_configHome;
};

TEST_F(SettingsTest, EveryTypeSurvivesAReload) {
    const Bytes blob = {0x00, 0xff, 0x10, 0x80, 0x7f};
    {
        auto suite = UserDefaults::suite();
        EXPECT_EQ(suite->filePath(), settingsFile());
        suite->setString("iOS-alias", "홍길동");
        suite->setInteger("count", -9007199254740993LL);
        suite->setDouble("ratio", 0.1);
        suite->setDouble("whole", 2.0);
        suite->setBool("flag", true);
        suite->setData("blob", blob);
        suite->setData("empty", {});
        EXPECT_TRUE(suite->synchronize());
    }
    UserDefaults::resetForTesting();
    auto reloaded = UserDefaults::suite();
    EXPECT_EQ(reloaded->string("iOS-alias"), "홍길동");
    EXPECT_EQ(reloaded->integer("count"), -9007199254740993LL);
    EXPECT_EQ(reloaded->number("ratio"), 0.1);
    EXPECT_EQ(reloaded->number("whole"), 2.0);
    EXPECT_EQ(reloaded->boolean("flag"), true);
    EXPECT_EQ(reloaded->data("blob"), blob);
    EXPECT_EQ(reloaded->data("empty"), Bytes{});
    EXPECT_FALSE(reloaded->contains("missing"));
    EXPECT_EQ(reloaded->stringValue("missing"), "");
    EXPECT_EQ(reloaded->integerValue("missing"), 0);

    // Data is stored as {"$data": base64}.
    const auto root = nlohmann::json::parse(readFile(settingsFile()));
    EXPECT_EQ(root["blob"], (nlohmann::json{{"$data", "AP8QgH8="}}));
}

TEST_F(SettingsTest, TextValuesReadAsNumbersAndBooleans) {
    auto suite = UserDefaults::suite();
    struct Case {
        const char* text;
        std::int64_t integer;
        double number;
        bool boolean;
    };
    const Case cases[] = {
        {"12", 12, 12.0, true}, {" 7abc", 7, 7.0, true}, {"", 0, 0.0, false},
        {"abc", 0, 0.0, false}, {"-3", -3, -3.0, true},  {"2.5", 2, 2.5, true},
        {"YES", 0, 0.0, true},  {"0", 0, 0.0, false},    {"99999999999999999999", INT64_MAX, 1e20, true},
    };
    for (const auto& c : cases) {
        suite->setString("k", c.text);
        EXPECT_EQ(suite->integerValue("k"), c.integer) << c.text;
        EXPECT_DOUBLE_EQ(suite->doubleValue("k"), c.number) << c.text;
        EXPECT_EQ(suite->boolValue("k"), c.boolean) << c.text;
    }
    suite->setInteger("n", 42);
    EXPECT_EQ(suite->string("n"), "42");
    suite->setData("d", {1});
    EXPECT_EQ(suite->string("d"), std::nullopt);
    EXPECT_EQ(suite->integer("d"), std::nullopt);
}

TEST_F(SettingsTest, TwoSuiteObjectsSeeEachOthersValuesAtOnce) {
    auto a = UserDefaults::suite();
    auto b = UserDefaults::suite(UserDefaults::kSuiteName);
    a->setString("iOS-slot", "12");
    EXPECT_EQ(b->integerValue("iOS-slot"), 12);
    b->remove("iOS-slot");
    EXPECT_FALSE(a->contains("iOS-slot"));

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            UserDefaults::suite()->setInteger("counter", i);
        stop = true;
    });
    std::int64_t last = -1;
    while (!stop) {
        const std::int64_t seen = b->integerValue("counter");
        EXPECT_GE(seen, last); // one store, so values never go back
        last = seen;
    }
    writer.join();
    EXPECT_EQ(a->integerValue("counter"), 1999);
}

TEST_F(SettingsTest, FileAndFolderArePrivate) {
    auto suite = UserDefaults::suite();
    suite->setString("iOS-teacherId", "T1");
    ASSERT_TRUE(suite->synchronize());
    EXPECT_EQ(modeOf(settingsFile()), 0600u);
    EXPECT_EQ(modeOf(fs::path(settingsFile()).parent_path().string()), 0700u);
}

TEST_F(SettingsTest, SynchronizeWritesOnlyWhenChanged) {
    auto suite = UserDefaults::suite();
    suite->setString("a", "1");
    ASSERT_TRUE(suite->synchronize());
    // An outside edit stays untouched while nothing changes in memory.
    writeFile(settingsFile(), R"({"a":"edited"})");
    suite->setString("a", "1"); // same value: no change
    EXPECT_TRUE(suite->synchronize());
    EXPECT_EQ(readFile(settingsFile()), R"({"a":"edited"})");
    suite->setString("a", "2");
    EXPECT_TRUE(suite->synchronize());
    EXPECT_EQ(nlohmann::json::parse(readFile(settingsFile()))["a"], "2");
}

TEST_F(SettingsTest, MemoryOnlyKeysNeverReachTheDisk) {
    UserDefaults::markMemoryOnly("iOS-archived-fileData");
    auto suite = UserDefaults::suite();
    suite->setString("kept", "yes");
    ASSERT_TRUE(suite->synchronize());
    const std::string before = readFile(settingsFile());
    suite->setData("iOS-archived-fileData", Bytes(1000, 0xab));
    EXPECT_TRUE(suite->data("iOS-archived-fileData").has_value());
    EXPECT_TRUE(suite->synchronize());
    EXPECT_EQ(readFile(settingsFile()), before); // not even rewritten
    suite->setString("kept", "still");
    ASSERT_TRUE(suite->synchronize());
    EXPECT_EQ(readFile(settingsFile()).find("iOS-archived-fileData"), std::string::npos);
}

TEST_F(SettingsTest, TakeDataMovesTheBytesOutAndRemovesTheKey) {
    const Bytes blob(1000, 0xcd);
    auto suite = UserDefaults::suite();
    suite->setData("blob", blob);
    suite->setString("text", "not data");
    ASSERT_TRUE(suite->synchronize());
    EXPECT_EQ(suite->takeData("blob"), blob);
    EXPECT_FALSE(suite->contains("blob"));
    EXPECT_FALSE(UserDefaults::suite()->contains("blob")); // for every object of the suite
    EXPECT_FALSE(suite->takeData("blob").has_value());     // taken once
    // A key that holds no data stays as it is.
    EXPECT_FALSE(suite->takeData("text").has_value());
    EXPECT_EQ(suite->stringValue("text"), "not data");
    EXPECT_FALSE(suite->takeData("missing").has_value());
    // The removal reaches the disk.
    ASSERT_TRUE(suite->synchronize());
    UserDefaults::resetForTesting();
    EXPECT_FALSE(UserDefaults::suite()->contains("blob"));
    EXPECT_EQ(UserDefaults::suite()->stringValue("text"), "not data");
}

TEST_F(SettingsTest, KillBetweenWriteAndRenameLeavesTheOldFile) {
    auto suite = UserDefaults::suite();
    suite->setString("iOS-ip", "10.0.0.1");
    ASSERT_TRUE(suite->synchronize());
    const std::string good = readFile(settingsFile());
    // What a write killed before its rename leaves behind: a half-written temp file, long ago. A
    // young one is another process's write under way and must survive the load.
    const std::string leftover = settingsFile() + ".tmp-AbC123";
    writeFile(leftover, R"({"iOS-ip": "10.0.)");
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const std::string underWay = settingsFile() + ".tmp-XyZ789";
    writeFile(underWay, R"({"iOS-ip": "10.0.0.)");

    UserDefaults::resetForTesting();
    testing::LogCapture log;
    auto reloaded = UserDefaults::suite();
    EXPECT_EQ(reloaded->stringValue("iOS-ip"), "10.0.0.1");
    EXPECT_EQ(readFile(settingsFile()), good);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(underWay));
    EXPECT_TRUE(log.contains("unfinished write"));
}

TEST_F(SettingsTest, FailedWriteKeepsOldFileAndReportsFailure) {
    auto suite = UserDefaults::suite();
    suite->setString("iOS-ip", "10.0.0.1");
    ASSERT_TRUE(suite->synchronize());
    const std::string good = readFile(settingsFile());
    // A folder where the temp file should go makes the write fail before the rename.
    const std::string folder = fs::path(settingsFile()).parent_path().string();
    fs::rename(folder, folder + ".moved");
    writeFile(folder, "not a folder");
    testing::LogCapture log;
    suite->setString("iOS-ip", "10.0.0.2");
    EXPECT_FALSE(suite->synchronize());
    fs::remove(folder);
    fs::rename(folder + ".moved", folder);
    EXPECT_EQ(readFile(settingsFile()), good);
    EXPECT_FALSE(log.lines().empty());
    // Still pending: the next synchronize writes it.
    EXPECT_TRUE(suite->synchronize());
    EXPECT_EQ(nlohmann::json::parse(readFile(settingsFile()))["iOS-ip"], "10.0.0.2");
}

// Every change a console asks for is written at once; on a disk where every write fails, 10,000 of
// them write a few lines a second, the next line let through counting the rest.
TEST_F(SettingsTest, WritesThatKeepFailingLogAFewLinesASecond) {
    constexpr int kWrites = 10'000;
    constexpr std::size_t kFewLines = 5;
    auto suite = UserDefaults::suite();
    suite->setString("iOS-alias", "first");
    ASSERT_TRUE(suite->synchronize());
    const std::string folder = fs::path(settingsFile()).parent_path().string();
    fs::rename(folder, folder + ".moved");
    writeFile(folder, "not a folder");
    ManualRunLoop loop;
    loop.install();
    loop.advance(1.0);
    testing::LogCapture log;
    for (int i = 0; i < kWrites; ++i) {
        suite->setString("iOS-alias", "name " + std::to_string(i));
        EXPECT_FALSE(suite->synchronize());
    }
    loop.advance(1.0);
    suite->setString("iOS-alias", "last");
    EXPECT_FALSE(suite->synchronize());
    fs::remove(folder);
    fs::rename(folder + ".moved", folder);
    EXPECT_LT(log.lines().size(), kFewLines);
    EXPECT_EQ(testing::faultsLogged(log.lines(), "[ZQ]settings: cannot"), kWrites + 1u);
    EXPECT_TRUE(suite->synchronize());
}

// A value nested this deep (200 KB of brackets) would take the stack with it while loading.
std::string deeplyNested(const std::string& open, const std::string& close) {
    constexpr int kLevels = 100000;
    std::string text = "{\"iOS-ip\": \"1.2.3.4\", \"deep\": ";
    for (int i = 0; i < kLevels; ++i)
        text += open;
    for (int i = 0; i < kLevels; ++i)
        text += close;
    return text + "}";
}

TEST_F(SettingsTest, CorruptFileIsKeptAsideAndLogged) {
    fs::create_directories(fs::path(settingsFile()).parent_path());
    for (const std::string& garbage :
         {std::string("{\"iOS-ip\": \"1.2"), std::string("[1,2]"), std::string("\xff\xfe not json"),
          deeplyNested("[", "]"), deeplyNested("{\"a\":", "}"), deeplyNested("[{\"a\":", "}]")}) {
        writeFile(settingsFile(), garbage);
        UserDefaults::resetForTesting();
        testing::LogCapture log;
        auto suite = UserDefaults::suite();
        EXPECT_FALSE(suite->contains("iOS-ip"));
        EXPECT_TRUE(log.contains("kept as"));
        EXPECT_FALSE(fs::exists(settingsFile()));
        bool found = false;
        for (const auto& entry : fs::directory_iterator(fs::path(settingsFile()).parent_path())) {
            if (entry.path().filename().string().find(".corrupt-") != std::string::npos &&
                readFile(entry.path().string()) == garbage) {
                found = true;
                fs::remove(entry.path());
            }
        }
        EXPECT_TRUE(found) << garbage.substr(0, 40);
    }
}

TEST_F(SettingsTest, UnknownEntriesAndDamagedDataAreKeptAsFound) {
    fs::create_directories(fs::path(settingsFile()).parent_path());
    writeFile(settingsFile(), R"({"list":[1,2],"bad":{"$data":"!!"},"iOS-slot":"3"})");
    auto suite = UserDefaults::suite();
    EXPECT_EQ(suite->integerValue("iOS-slot"), 3);
    EXPECT_FALSE(suite->contains("bad"));
    suite->setString("iOS-slot", "4");
    ASSERT_TRUE(suite->synchronize());
    const auto root = nlohmann::json::parse(readFile(settingsFile()));
    EXPECT_EQ(root["list"], nlohmann::json::parse("[1,2]"));
    EXPECT_EQ(root["bad"]["$data"], "!!");
    EXPECT_EQ(root["iOS-slot"], "4");
}

TEST_F(SettingsTest, ConcurrentWritersAndSynchronize) {
    constexpr int kThreads = 4;
    constexpr int kWrites = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            auto suite = UserDefaults::suite();
            for (int i = 0; i < kWrites; ++i) {
                suite->setInteger("key" + std::to_string(t), i);
                if (i % 50 == 0)
                    suite->synchronize();
            }
            suite->synchronize();
        });
    }
    for (auto& t : threads)
        t.join();
    UserDefaults::resetForTesting();
    auto reloaded = UserDefaults::suite();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(reloaded->integerValue("key" + std::to_string(t)), kWrites - 1);
}

TEST_F(SettingsTest, SynchronizeAllWritesEveryLoadedSuite) {
    UserDefaults::suite()->setString("a", "1");
    UserDefaults::suite("other.suite")->setString("b", "2");
    UserDefaults::synchronizeAll();
    EXPECT_TRUE(fs::exists(settingsFile()));
    EXPECT_TRUE(fs::exists(m_configHome + "/olvex-student/other.suite.json"));
    // A name cannot leave the folder.
    EXPECT_EQ(UserDefaults::suite("../../evil")->filePath(),
              m_configHome + "/olvex-student/_.._.._evil.json");
}

} // namespace
} // namespace platform
