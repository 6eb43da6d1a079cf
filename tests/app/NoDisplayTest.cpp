// The built agent started where no X server answers: it says so in one line on standard error and
// ends with a plain failure status, instead of Qt's abort.
#include "AgentProcess.h"

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr auto kExitWait = 20s;
constexpr int kNoDisplayStatus = 1;
// A display number no test server takes (they start from the first free one).
constexpr const char* kDeadDisplay = ":4093";

// An authority file with one cookie: an X server started with it refuses every client that does
// not present the cookie (the format is the Xauthority one: family, then four counted fields).
void writeCookieFile(const std::filesystem::path& path) {
    constexpr std::uint16_t kFamilyLocal = 256;
    constexpr unsigned char kCookie[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::ofstream out(path, std::ios::binary);
    auto put16 = [&](std::uint16_t v) {
        out.put(static_cast<char>(v >> 8));
        out.put(static_cast<char>(v & 0xFF));
    };
    auto counted = [&](const std::string& bytes) {
        put16(static_cast<std::uint16_t>(bytes.size()));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    put16(kFamilyLocal);
    counted("localhost");
    counted("0");
    counted("MIT-MAGIC-COOKIE-1");
    counted(std::string(reinterpret_cast<const char*>(kCookie), sizeof kCookie));
}

struct NoDisplayCase {
    const char* name;
    std::map<std::string, std::string> env;
    std::vector<std::string> unset;
    const char* reason;
    // A second line the agent prints before the first, when it says one.
    const char* firstSaid = nullptr;
};

TEST(NoDisplay, SaysItNeedsAnX11DisplayAndFails) {
    ASSERT_NE(::access((std::string("/tmp/.X11-unix/X") + (kDeadDisplay + 1)).c_str(), F_OK), 0)
        << "a server runs at " << kDeadDisplay;
    const std::vector<NoDisplayCase> cases{
        {"no DISPLAY", {{"QT_QPA_PLATFORM", "xcb"}}, {"DISPLAY", "WAYLAND_DISPLAY"}, "DISPLAY is not set"},
        {"a DISPLAY nobody answers",
         {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", kDeadDisplay}},
         {"WAYLAND_DISPLAY"},
         "no X server accepts"},
        {"Qt's offscreen platform chosen in the shell",
         {{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", kDeadDisplay}},
         {"WAYLAND_DISPLAY"},
         "no X server accepts",
         "QT_QPA_PLATFORM=offscreen ignored"},
    };
    char pattern[] = "/tmp/olvex-nodisplay-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path home = pattern;
    std::vector<NoDisplayCase> all = cases;
    e2e::VirtualDisplay guarded;
    if (e2e::haveProgram("Xvfb")) {
        writeCookieFile(home / "server-cookie");
        ASSERT_TRUE(guarded.start({"-auth", (home / "server-cookie").string()}));
        all.push_back({"a server that refuses clients without its cookie",
                       {{"QT_QPA_PLATFORM", "xcb"},
                        {"DISPLAY", guarded.name()},
                        {"XAUTHORITY", (home / "no-cookie").string()}},
                       {"WAYLAND_DISPLAY"},
                       "refused the connection"});
    }
    for (const NoDisplayCase& c : all) {
        const std::filesystem::path errors = home / "stderr.txt";
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        std::map<std::string, std::string> env = c.env;
        env["HOME"] = home.string();
        env["XDG_CONFIG_HOME"] = (home / "config").string();
        e2e::ChildProcess agent;
        ASSERT_TRUE(agent.start({OLVEX_STUDENT_BINARY}, env, -1, fd, c.unset)) << c.name;
        ::close(fd);
        const std::optional<int> status = agent.waitForExit(kExitWait);
        ASSERT_TRUE(status.has_value()) << c.name << ": still running";
        EXPECT_EQ(*status, kNoDisplayStatus) << c.name;
        std::ifstream in(errors);
        std::stringstream text;
        text << in.rdbuf();
        const std::string said = text.str();
        EXPECT_NE(said.find("needs an X11 display"), std::string::npos) << c.name << ": " << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.name << ": " << said;
        if (c.firstSaid) {
            EXPECT_NE(said.find(c.firstSaid), std::string::npos) << c.name << ": " << said;
        }
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.firstSaid ? 2 : 1) << c.name << ": " << said;
    }
    std::filesystem::remove_all(home);
}

} // namespace
