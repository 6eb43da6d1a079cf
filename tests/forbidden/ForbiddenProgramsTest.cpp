#include "forbidden/ForbiddenPrograms.h"

#include "FakeProcessTable.h"
#include "platform/Log.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace forbidden {
namespace {

using test::FakeProcessTable;
using test::processesNamed;

class LogCapture {
public:
    LogCapture() {
        platform::setLogSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.push_back(line);
        });
    }
    ~LogCapture() { platform::setLogSink({}); }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};

struct PassFixture {
    explicit PassFixture(std::vector<ProcessEntry> processes, SessionKeepers keepers = {}) {
        auto owned = std::make_unique<FakeProcessTable>(std::move(processes));
        table = owned.get();
        auto session = std::make_unique<test::FakeSessionProcesses>(std::move(keepers));
        this->session = session.get();
        programs = std::make_unique<ForbiddenPrograms>(std::move(owned), std::move(session));
    }
    test::FakeSessionProcesses* session;
    FakeProcessTable* table;
    std::unique_ptr<ForbiddenPrograms> programs;
};

// --- Teacher commands ---

TEST(ForbiddenProgramsCommands, BrowserSwitchTakesOnlyTrueOrFalse) {
    struct Step {
        std::optional<std::string_view> web;
        bool expected;
    };
    const Step steps[] = {
        {"true", true},   {"TRUE", true}, {"", true},       {std::nullopt, true}, {" false", true},
        {"false", false}, {"1", false},   {"true ", false}, {"true", true},
    };
    ForbiddenPrograms programs(std::make_unique<FakeProcessTable>(processesNamed({})));
    EXPECT_FALSE(programs.webBrowserKill());
    for (const Step& step : steps) {
        programs.setWebBrowserKill(step.web);
        EXPECT_EQ(programs.webBrowserKill(), step.expected) << (step.web ? *step.web : "<missing>");
    }
}

TEST(ForbiddenProgramsCommands, NotificationsReachTheHandlersAndAMissingListEmptiesIt) {
    LogCapture log;
    platform::NotificationCenter center;
    platform::ObserverSet observers(center);
    ForbiddenPrograms programs(std::make_unique<FakeProcessTable>(processesNamed({})));
    programs.observe(observers);

    center.post(kForbiddanceWebNotification, nullptr, platform::Dictionary{{"web", "true"}});
    EXPECT_TRUE(programs.webBrowserKill());
    center.post(kForbiddanceWebNotification, nullptr, platform::Dictionary{{"other", "false"}});
    EXPECT_TRUE(programs.webBrowserKill());

    center.post(kForbiddanceListNotification, nullptr, platform::Dictionary{{"list", "a,b"}});
    EXPECT_EQ(programs.forbiddanceList(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(log.lines().empty());

    center.post(kForbiddanceListNotification, nullptr, std::string("not a dictionary"));
    EXPECT_TRUE(programs.forbiddanceList().empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"ArrList comma nil"});
}

// --- Matching and exclusions, against a scripted process table ---

TEST(ForbiddenProgramsPass, BrowserNamesMatchAsCaseSensitiveSubstrings) {
    PassFixture f(processesNamed({"Google Chrome", "Chrome Helper", "xChromex", "chrome", "chrome_crashpad",
                                  "msedge", "Safari", "Microsoft Edge", "Microsoft Edg", "firefox-esr",
                                  "fire", "CHROME", "chromium", "safari", "MSEDGE", "Firefox", "firefox"}));
    f.programs->setWebBrowserKill("true");
    EXPECT_EQ(f.programs->killProcess(false), 11);
    EXPECT_EQ(f.table->killed,
              (std::vector<std::string>{"Google Chrome", "Chrome Helper", "xChromex", "chrome",
                                        "chrome_crashpad", "msedge", "Safari", "Microsoft Edge",
                                        "firefox-esr", "chromium", "firefox"}));
}

TEST(ForbiddenProgramsPass, ProgramListMatchesLiterally) {
    struct Case {
        std::string_view list;
        std::vector<std::string> killed;
    };
    const std::vector<std::string> names = {"vim", "gvim", "nano", " nano", "nanox", "vi", "abcdefghijklmno"};
    const Case cases[] = {
        // The blank after the comma belongs to the second name.
        {"vim, nano", {"vim", "gvim", " nano"}},
        {"", {}},
        {",,", {}},
        // Fifteen bytes is the longest name a process can have; one more never matches.
        {"abcdefghijklmnop", {}},
        {"abcdefghijklmno", {"abcdefghijklmno"}},
    };
    for (const Case& c : cases) {
        PassFixture f(processesNamed(names));
        f.programs->setForbiddanceList(c.list);
        f.programs->killProcess(true);
        EXPECT_EQ(f.table->killed, c.killed) << c.list;
    }
}

TEST(ForbiddenProgramsPass, NoScanWhileBothKindsAreOff) {
    PassFixture f(processesNamed({"Chrome", "vim"}));
    f.programs->setForbiddanceList("vim");
    EXPECT_EQ(f.programs->killProcess(false), 0);
    EXPECT_EQ(f.table->listings, 0);

    // Switched on with nothing that could match: still no scan.
    f.programs->setForbiddanceList("");
    EXPECT_EQ(f.programs->killProcess(true), 0);
    EXPECT_EQ(f.table->listings, 0);

    f.programs->setWebBrowserKill("true");
    f.programs->setWebBrowserKill("false");
    EXPECT_EQ(f.programs->killProcess(false), 0);
    EXPECT_EQ(f.table->listings, 0);
}

TEST(ForbiddenProgramsPass, ListReceivedEarlierAppliesOnceProgramKillingIsOn) {
    PassFixture f(processesNamed({"Chrome", "vim"}));
    f.programs->setForbiddanceList("vim");
    f.programs->setWebBrowserKill("true");
    f.programs->killProcess(false);
    EXPECT_EQ(f.table->killed, std::vector<std::string>{"Chrome"});
    f.table->killed.clear();
    f.programs->setWebBrowserKill("false");
    f.programs->killProcess(true);
    EXPECT_EQ(f.table->killed, std::vector<std::string>{"vim"});
}

TEST(ForbiddenProgramsPass, NeverTheAgentInitKernelThreadsOrBadIds) {
    PassFixture f({{1, "victim", false},
                   {FakeProcessTable::kSelf, "victim", false},
                   {2, "victim", true},
                   {7000, "victim", true},
                   {0, "victim", false},
                   {-5, "victim", false},
                   {300, "victim", false}});
    f.programs->setForbiddanceList("victim");
    EXPECT_EQ(f.programs->killProcess(true), 1);
    EXPECT_EQ(f.table->killed, std::vector<std::string>{"victim"});
}

// A careless list from the console ("s", "sh", "X", single letters) must not end the student's
// session: the agent's line of parents, its session leader and the desktop's processes live.
TEST(ForbiddenProgramsPass, SparesTheAgentsLineAndTheDesktopsProcesses) {
    constexpr std::int32_t kSelf = FakeProcessTable::kSelf;
    const std::vector<ProcessEntry> table = {
        {900, "systemd", false, 1, 900},       // the user's service manager
        {950, "dbus-daemon", false, 900, 950}, // the session bus
        {2000, "Xorg", false, 1, 2000},        // the X server, by name
        {2001, "Xvfb", false, 1, 2001},        // an X server known by its id only
        {2100, "openbox", false, 3000, 3000},  // window manager, by the name it gives
        {2200, "picom", false, 3000, 3000},    // compositor, by its id
        {3000, "sh", false, 1, 3000},          // session leader
        {3500, "xterm", false, 3000, 3000},    // grandparent
        {4000, "bash", false, 3500, 3000},     // parent
        {kSelf, "olvex-student", false, 4000, 3000},
        {5000, "sharp", false, 3000, 3000},
        {5001, "shx", false, 3000, 3000},
        {5002, "bashful", false, 3000, 3000},
        {5003, "Xeyes", false, 3000, 3000},
    };
    const SessionKeepers keepers{{2001, 2200}, {"systemd", "dbus-daemon", "Xorg", "openbox"}};
    struct Case {
        std::string_view list;
        std::vector<std::string> killed;
    };
    const Case cases[] = {
        {"s", {"sharp", "shx", "bashful", "Xeyes"}},
        {"sh,X", {"sharp", "shx", "bashful", "Xeyes"}},
        {"o,x,p,d,b,m,t,e", {"sharp", "shx", "bashful", "Xeyes"}},
        {"systemd,dbus,Xorg,Xvfb,openbox,picom,bash,xterm,olvex", {"bashful"}},
    };
    for (const Case& c : cases) {
        PassFixture f(table, keepers);
        f.programs->setForbiddanceList(c.list);
        f.programs->killProcess(true);
        EXPECT_EQ(f.table->killed, c.killed) << c.list;
        EXPECT_EQ(f.session->asked, 1) << "asked once per pass";
    }
}

TEST(ForbiddenProgramsPass, TheSessionIsAskedOnlyWhenSomethingMatches) {
    PassFixture f(processesNamed({"alpha"}));
    f.programs->setForbiddanceList("beta");
    f.programs->killProcess(true);
    EXPECT_EQ(f.session->asked, 0);
}

TEST(ForbiddenProgramsPass, OneSignalPerProcessEvenWhenSeveralNamesMatch) {
    PassFixture f(processesNamed({"ChromeSafari", "vimvim"}));
    f.programs->setWebBrowserKill("true");
    f.programs->setForbiddanceList("vim,vim,Safari");
    EXPECT_EQ(f.programs->killProcess(true), 2);
    EXPECT_EQ(f.table->killed, (std::vector<std::string>{"ChromeSafari", "vimvim"}));
}

TEST(ForbiddenProgramsPass, ListReplacedDuringAPassDoesNotChangeThatPass) {
    PassFixture f(processesNamed({"alpha", "beta", "alpha2"}));
    f.programs->setForbiddanceList("alpha");
    // Runs inside the pass, as a receive thread's command could at any moment; it must neither
    // block (the pass may not hold the list lock while signalling) nor alter the pass's snapshot.
    f.table->onKill = [&](const ProcessEntry&) { f.programs->setForbiddanceList("beta"); };
    f.programs->killProcess(true);
    EXPECT_EQ(f.table->killed, (std::vector<std::string>{"alpha", "alpha2"}));
    f.table->killed.clear();
    f.table->onKill = nullptr;
    f.programs->killProcess(true);
    EXPECT_EQ(f.table->killed, std::vector<std::string>{"beta"});
}

} // namespace
} // namespace forbidden
