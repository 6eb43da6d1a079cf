// One forbidden-program pass as the capture queue runs it on every dropped frame.
#include "forbidden/ForbiddenPrograms.h"
#include "forbidden/ProcessTable.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

// A teacher's list of this length is already a long one; none of these names is a real program, so
// the pass reads and compares everything but signals nothing.
constexpr int kListedPrograms = 20;

std::string unmatchedList() {
    std::string list;
    for (int i = 0; i < kListedPrograms; ++i)
        list += (i ? "," : "") + std::string("olvexBenchNo") + std::to_string(i);
    return list;
}

void BM_KillPassBothOff(benchmark::State& state) {
    forbidden::ForbiddenPrograms programs;
    programs.setForbiddanceList(unmatchedList());
    for (auto _ : state)
        benchmark::DoNotOptimize(programs.killProcess(false));
}
BENCHMARK(BM_KillPassBothOff);

// Browser killing stays off here: with the browser names on, a bench run would end the browsers of
// whoever runs it. The browser names add five more comparisons per process, nothing more.
void BM_KillPassProgramListOn(benchmark::State& state) {
    forbidden::ForbiddenPrograms programs;
    programs.setForbiddanceList(unmatchedList());
    for (auto _ : state)
        benchmark::DoNotOptimize(programs.killProcess(true));
    forbidden::LinuxProcessTable table;
    std::vector<forbidden::ProcessEntry> processes;
    table.getBSDProcessListAsMutable(processes);
    state.counters["processes"] = static_cast<double>(processes.size());
}
BENCHMARK(BM_KillPassProgramListOn)->Unit(benchmark::kMicrosecond);

void BM_ProcessListing(benchmark::State& state) {
    forbidden::LinuxProcessTable table;
    std::vector<forbidden::ProcessEntry> processes;
    for (auto _ : state) {
        table.getBSDProcessListAsMutable(processes);
        benchmark::DoNotOptimize(processes.data());
    }
    state.counters["processes"] = static_cast<double>(processes.size());
}
BENCHMARK(BM_ProcessListing)->Unit(benchmark::kMicrosecond);

} // namespace
