// The /proc process table against real child processes and against a crafted /proc tree.
#include "forbidden/ProcessTable.h"

#include "FakeProcessTable.h"
#include "forbidden/ForbiddenPrograms.h"
#include "platform/Log.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace forbidden {
namespace {

constexpr std::size_t kCommandNameCapacity = 16; // the kernel's TASK_COMM_LEN

// A forked copy of the test that renames its thread to a given short name and then answers every
// rename request with one byte. An answer proves it alive: a SIGKILL already sent is delivered
// before the child could run again, so a killed child never answers.
class NamedChild {
public:
    explicit NamedChild(const std::string& name) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        std::array<char, kCommandNameCapacity> first{};
        name.copy(first.data(), first.size() - 1);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            childLoop(fds[1], first.data());
        }
        ::close(fds[1]);
        m_fd = fds[0];
        m_started = m_pid > 0 && awaitAnswer();
    }
    ~NamedChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NamedChild(const NamedChild&) = delete;
    NamedChild& operator=(const NamedChild&) = delete;

    bool started() const { return m_started; }
    std::int32_t pid() const { return m_pid; }

    // True when the child took the new name: it is alive.
    bool rename(const std::string& name) {
        if (::send(m_fd, name.data(), name.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(name.size()))
            return false;
        return awaitAnswer();
    }
    bool alive() { return rename(currentName()); }

    // Reaps the child; true when SIGKILL ended it.
    bool endedBySigkill() {
        int status = 0;
        const pid_t reaped = ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return reaped > 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

private:
    [[noreturn]] static void childLoop(int fd, const char* name) {
        ::prctl(PR_SET_NAME, name);
        char answer = 'k';
        if (::write(fd, &answer, 1) != 1)
            ::_exit(1);
        std::array<char, kCommandNameCapacity> next{};
        for (;;) {
            ssize_t n = ::read(fd, next.data(), next.size() - 1);
            if (n <= 0)
                ::_exit(0);
            next[static_cast<std::size_t>(n)] = '\0';
            ::prctl(PR_SET_NAME, next.data());
            if (::write(fd, &answer, 1) != 1)
                ::_exit(1);
        }
    }
    std::string currentName() const {
        std::ifstream comm("/proc/" + std::to_string(m_pid) + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    }
    bool awaitAnswer() {
        char answer = 0;
        ssize_t n;
        do {
            n = ::read(m_fd, &answer, 1);
        } while (n < 0 && errno == EINTR);
        return n == 1;
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    bool m_started = false;
};

// Names unique to this test process, so that parallel test runs never touch each other's children.
std::string uniqueName(const char* prefix, const char* suffix) {
    return prefix + std::to_string(::getpid()) + suffix;
}

std::string ownCommandName() {
    std::array<char, kCommandNameCapacity> name{};
    ::prctl(PR_GET_NAME, name.data());
    return name.data();
}

const ProcessEntry* findProcess(const std::vector<ProcessEntry>& processes, std::int32_t pid) {
    auto it = std::find_if(processes.begin(), processes.end(),
                           [&](const ProcessEntry& p) { return p.processID == pid; });
    return it == processes.end() ? nullptr : &*it;
}

TEST(ProcessTableReal, PassKillsTheForbiddenChildAndSparesOtherCase) {
    // The closing letter keeps "Kp1234" of one test run from matching "aKp12345b" of another.
    const std::string part = uniqueName("Kp", "b");
    NamedChild forbidden(uniqueName("aKp", "b"));
    NamedChild lower(uniqueName("akp", "b"));
    NamedChild upper(uniqueName("AKP", "B"));
    ASSERT_TRUE(forbidden.started() && lower.started() && upper.started());

    ForbiddenPrograms programs;
    programs.setForbiddanceList("nothing-like-it," + part);
    EXPECT_EQ(programs.killProcess(true), 1);
    EXPECT_TRUE(forbidden.endedBySigkill());
    EXPECT_TRUE(lower.alive());
    EXPECT_TRUE(upper.alive());
}

TEST(ProcessTableReal, TheAgentNeverSignalsItself) {
    const std::string saved = ownCommandName();
    const std::string name = uniqueName("fpSelf", "x");
    ASSERT_EQ(::prctl(PR_SET_NAME, name.c_str()), 0);

    LinuxProcessTable table;
    std::vector<ProcessEntry> processes;
    table.getBSDProcessListAsMutable(processes);
    const ProcessEntry* self = findProcess(processes, ::getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->processName, name);
    EXPECT_FALSE(self->kernelThread);
    // Were either guard missing, SIGKILL would end this test process here.
    EXPECT_FALSE(table.killIfUnchanged(*self));
    ForbiddenPrograms programs;
    programs.setForbiddanceList(name);
    EXPECT_EQ(programs.killProcess(true), 0);

    ::prctl(PR_SET_NAME, saved.c_str());
}

// The table links the agent to its parent and session leader, which the pass spares; a child the
// session names as one of its own lives, any other child of the agent does not.
TEST(ProcessTableReal, ListsParentAndSessionAndSparesWhatTheSessionNames) {
    NamedChild child(uniqueName("fpKid", "z"));
    ASSERT_TRUE(child.started());
    LinuxProcessTable table;
    std::vector<ProcessEntry> processes;
    table.getBSDProcessListAsMutable(processes);
    const ProcessEntry* self = findProcess(processes, ::getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->parentID, ::getppid());
    EXPECT_EQ(self->sessionID, ::getsid(0));
    const ProcessEntry* listed = findProcess(processes, child.pid());
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->parentID, ::getpid());

    ForbiddenPrograms keeping(
        std::make_unique<LinuxProcessTable>(),
        std::make_unique<test::FakeSessionProcesses>(SessionKeepers{{child.pid()}, {}}));
    keeping.setForbiddanceList(uniqueName("fpKid", "z"));
    EXPECT_EQ(keeping.killProcess(true), 0);
    EXPECT_TRUE(child.alive());

    ForbiddenPrograms plain(std::make_unique<LinuxProcessTable>(),
                            std::make_unique<test::FakeSessionProcesses>());
    plain.setForbiddanceList(uniqueName("fpKid", "z"));
    EXPECT_EQ(plain.killProcess(true), 1);
    EXPECT_TRUE(child.endedBySigkill());
}

TEST(ProcessTableReal, RenamedSinceListingIsNotSignalled) {
    NamedChild child(uniqueName("fpOld", ""));
    ASSERT_TRUE(child.started());
    LinuxProcessTable table;
    std::vector<ProcessEntry> processes;
    table.getBSDProcessListAsMutable(processes);
    const ProcessEntry* listed = findProcess(processes, child.pid());
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->processName, uniqueName("fpOld", ""));

    // What a reused id looks like from here: the same id, another name.
    ASSERT_TRUE(child.rename(uniqueName("fpNew", "")));
    EXPECT_FALSE(table.killIfUnchanged(*listed));
    EXPECT_TRUE(child.alive());

    table.getBSDProcessListAsMutable(processes);
    listed = findProcess(processes, child.pid());
    ASSERT_NE(listed, nullptr);
    EXPECT_TRUE(table.killIfUnchanged(*listed));
    EXPECT_TRUE(child.endedBySigkill());
}

TEST(ProcessTableReal, AnotherUsersProcessIsNotSignalled) {
    NamedChild child(uniqueName("fpUser", ""));
    ASSERT_TRUE(child.started());
    // A table acting for a user that does not own the child.
    LinuxProcessTable table(LinuxProcessTable::kDefaultProcRoot, ::geteuid() + 1);
    std::vector<ProcessEntry> processes;
    table.getBSDProcessListAsMutable(processes);
    const ProcessEntry* listed = findProcess(processes, child.pid());
    ASSERT_NE(listed, nullptr);
    EXPECT_FALSE(table.killIfUnchanged(*listed));
    EXPECT_TRUE(child.alive());
}

// --- A crafted /proc tree: what the parser accepts and what it skips ---

class CraftedProc : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "fpProcXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        platform::setLogSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_logLock);
            m_log.push_back(line);
        });
    }
    void TearDown() override {
        platform::setLogSink({});
        std::filesystem::remove_all(m_root);
    }
    void write(const std::string& pid, const std::string& file, const std::string& text) {
        std::filesystem::create_directories(m_root / pid);
        std::ofstream(m_root / pid / file, std::ios::binary) << text;
    }
    std::size_t logCount() {
        std::lock_guard<std::mutex> lock(m_logLock);
        return m_log.size();
    }

    std::filesystem::path m_root;
    std::mutex m_logLock;
    std::vector<std::string> m_log;
};

TEST_F(CraftedProc, ParsesNamesWithBlanksAndParenthesesAndSkipsBadEntries) {
    write("100", "stat", "100 (a b) c) S 1 100 100 0 -1 4194560 0 0 0\n");
    write("100", "status", "Name:\tx\nUmask:\t0022\nUid:\t1000\t1001\t1002\t1003\nGid:\t5\t5\t5\t5\n");
    write("2", "stat", "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0\n");
    write("101", "stat", "101 (cut");
    write("102", "stat", "");
    write("103", "stat", "999 (liar) S 1 1 1 0 -1 0 0 0\n");
    write("104", "stat", "104 (x) S 1 1 1 0 -1 notanumber 0\n");
    write("105", "stat", "105 (y) S 1 1 1 0 -1 4194560");
    write("106", "stat", "106 (" + std::string(65, 'n') + ") S 1 1 1 0 -1 0 0 0\n");
    write("107", "stat", "107 (nouid) S 1 1 1 0 -1 0 0 0\n");
    write("107", "status", "Name:\tnouid\nGid:\t5\t5\t5\t5\n");
    write("99999999999", "stat", "99999999999 (big) S 1 1 1 0 -1 0 0 0\n");
    write("0", "stat", "0 (zero) S 1 1 1 0 -1 0 0 0\n");
    write("self", "stat", "1 (self) S 1 1 1 0 -1 0 0 0\n");
    write("-3", "stat", "-3 (neg) S 1 1 1 0 -1 0 0 0\n");

    LinuxProcessTable table(m_root.string(), 1001);
    std::vector<ProcessEntry> processes(3); // stale entries from an earlier pass must not survive
    table.getBSDProcessListAsMutable(processes);
    std::sort(processes.begin(), processes.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.processID < b.processID; });
    ASSERT_EQ(processes.size(), 3u);
    EXPECT_EQ(processes[0].processID, 2);
    EXPECT_EQ(processes[0].processName, "kthreadd");
    EXPECT_TRUE(processes[0].kernelThread);
    EXPECT_EQ(processes[1].processID, 100);
    EXPECT_EQ(processes[1].processName, "a b) c");
    EXPECT_FALSE(processes[1].kernelThread);
    EXPECT_EQ(processes[2].processID, 107);
    // One line for all the unreadable entries, however many passes meet them.
    EXPECT_EQ(logCount(), 1u);
    table.getBSDProcessListAsMutable(processes);
    EXPECT_EQ(logCount(), 1u);

    ProcessEntry entry;
    std::uint32_t owner = 0;
    ASSERT_TRUE(table.inspect(100, entry, owner));
    EXPECT_EQ(entry.processName, "a b) c");
    EXPECT_EQ(owner, 1001u); // the effective user, the second of the four
    EXPECT_FALSE(table.inspect(107, entry, owner));
    EXPECT_FALSE(table.inspect(101, entry, owner));
    EXPECT_FALSE(table.inspect(555, entry, owner));
}

TEST_F(CraftedProc, MissingRootGivesAnEmptyList) {
    LinuxProcessTable table((m_root / "absent").string(), 0);
    std::vector<ProcessEntry> processes(2);
    table.getBSDProcessListAsMutable(processes);
    EXPECT_TRUE(processes.empty());
    EXPECT_EQ(logCount(), 1u);
}

} // namespace
} // namespace forbidden
