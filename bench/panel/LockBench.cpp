// The teacher's lock and unlock in a burst: 200 pairs of "[MV00050]" in one read (and a last "true"
// for the burst that ends locked) reach the hub from a receive thread while the main loop runs,
// until the screen matches the last command. Reports the largest growth of the process's peak
// resident memory over a burst (VmHWM, reset through /proc/self/clear_refs, the heap trimmed
// first), in megabytes and in lock windows' worth: what one lock from the unlocked screen costs,
// measured the same way (the lock picture at screen size, the window's backing and the picture's
// opacity effect). On the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "chat/MessageWindow.h"
#include "client/ClientEvents.h"
#include "panel/AppDelegate.h"
#include "panel/MainViewController.h"
#include "panel/PanelWindows.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/desktop/Application.h"
#include "platform/desktop/WindowController.h"
#include "transfer/PanelTransfers.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int kPairs = 200;
constexpr double kScreenWidth = 1440;
constexpr double kScreenHeight = 900;
constexpr double kMenuBar = 24;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr double kKilobyte = 1024.0;
// Writing this to /proc/self/clear_refs sets the peak resident size back to the current one.
constexpr const char* kResetPeak = "5";

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"), 0 when unread.
long long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::atoll(line.c_str() + field.size() + 1);
    }
    return 0;
}

bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << kResetPeak;
    return static_cast<bool>(clear.flush());
}

// The agent's application on the offscreen platform, with its panel and hub, made once.
class Agent {
public:
    static Agent& shared() {
        static Agent agent;
        return agent;
    }
    panel::MainViewController& hub() { return *m_hub; }
    // Runs Qt's events and the main queue until every block queued so far has run.
    void settle() {
        bool reached = false;
        platform::mainQueue::async([&reached] { reached = true; });
        while (!reached)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        // Closed windows let go in events posted by the blocks.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

private:
    Agent() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        const std::filesystem::path config =
            std::filesystem::temp_directory_path() / ("olvex-bench-lock-" + std::to_string(getpid()));
        std::filesystem::create_directories(config);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        m_app = std::make_unique<desktop::Application>(m_argc, m_argv);
        platform::screens::setInfo({kScreenWidth, kScreenHeight, kMenuBar, {1.0}});
        panel::registerPanelWindows();
        transfer::registerTransferWindows();
        chat::registerChatWindows();
        m_panel = desktop::WindowRegistry::instantiate(desktop::storyboard::kMainWindow);
        panel::AppDelegate::shared().setMainWindowController(m_panel);
        m_panel->showWindow();
        m_hub = panel::AppDelegate::shared().getMainViewController();
    }

    int m_argc = 1;
    char m_name[16] = "lock-bench";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<desktop::Application> m_app;
    std::shared_ptr<desktop::WindowController> m_panel;
    std::shared_ptr<panel::MainViewController> m_hub;
};

void postLock(bool locked) {
    platform::NotificationCenter::defaultCenter().post(
        client::events::kScreenLock, nullptr,
        platform::Dictionary{{client::events::kKeyLock, locked ? "true" : "false"}});
}

// The growth of the peak resident size while the commands are posted from a receive thread and
// the screen is made to match them; 0 when the peak cannot be reset here.
double peakGrowthMegabytes(Agent& agent, int pairs, bool endLocked) {
    // Heap freed by an earlier burst stays resident, and a burst that reuses it would not show.
    malloc_trim(0);
    const long long before = statusKilobytes("VmRSS");
    if (!resetPeak())
        return 0.0;
    std::atomic<bool> read{false};
    std::thread receive([pairs, endLocked, &read] {
        for (int i = 0; i < pairs; ++i) {
            postLock(true);
            postLock(false);
        }
        if (endLocked)
            postLock(true);
        read.store(true);
    });
    // The main loop runs meanwhile, as in the agent: windows lay out and draw between its turns.
    while (!read.load())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    receive.join();
    agent.settle();
    return static_cast<double>(statusKilobytes("VmHWM") - before) * kKilobyte / kMegabyte;
}

void BM_LockUnlockPairsInOneRead(benchmark::State& state) {
    Agent& agent = Agent::shared();
    if (!resetPeak()) {
        state.SkipWithError("the peak resident size cannot be reset here");
        return;
    }
    // Once before measuring: the lock picture's renderer and the fonts load on the first lock.
    postLock(true);
    postLock(false);
    agent.settle();
    const double oneLock = peakGrowthMegabytes(agent, 0, true);
    postLock(false);
    agent.settle();
    const bool endLocked = state.range(0) != 0;
    double growth = 0.0;
    bool endedAsCommanded = true;
    for (auto _ : state) {
        growth = std::max(growth, peakGrowthMegabytes(agent, kPairs, endLocked));
        endedAsCommanded = endedAsCommanded && agent.hub().isScreenLocked() == endLocked;
        state.PauseTiming();
        postLock(false);
        agent.settle();
        state.ResumeTiming();
    }
    state.counters["one_lock_MB"] = oneLock;
    state.counters["peak_growth_MB"] = growth;
    state.counters["lock_windows_worth"] = oneLock > 0.0 ? growth / oneLock : 0.0;
    state.counters["ended_as_commanded"] = endedAsCommanded ? 1 : 0;
}
// Argument: 0 the burst ends with "false", 1 with one more "true".
BENCHMARK(BM_LockUnlockPairsInOneRead)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
