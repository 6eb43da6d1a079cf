// Costs of the platform core on the hot paths: a receive thread posting a notification that ten
// observers take, and a settings synchronize() after one changed value (fsync included).
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kObservers = 10;

void BM_PostToTenObservers(benchmark::State& state) {
    platform::NotificationCenter center;
    long delivered = 0;
    for (int i = 0; i < kObservers; ++i)
        center.addObserver("POST_MSG_RECEIVED_SCREEN_LOCK", nullptr,
                           [&delivered](const platform::Notification&) { ++delivered; });
    for (auto _ : state)
        center.post("POST_MSG_RECEIVED_SCREEN_LOCK", nullptr, platform::Dictionary{{"lock", "true"}});
    benchmark::DoNotOptimize(delivered);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostToTenObservers);

void BM_SettingsSynchronizeChanged(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "olvex-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temp folder");
        return;
    }
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    platform::UserDefaults::resetForTesting();
    auto suite = platform::UserDefaults::suite();
    // A suite of the usual size: the login fields and the session's flags.
    for (const char* key : {"iOS-ip", "iOS-serverPort", "iOS-slot", "iOS-alias", "iOS-teacherId",
                            "macOS-serverWidth", "macOS-serverHeight", "macOS-transferPath"})
        suite->setString(key, "value");
    std::int64_t counter = 0;
    for (auto _ : state) {
        suite->setString("macOS-screenInit", std::to_string(++counter));
        if (!suite->synchronize())
            state.SkipWithError("synchronize failed");
    }
    platform::UserDefaults::resetForTesting();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SettingsSynchronizeChanged)->Unit(benchmark::kMicrosecond);

} // namespace
