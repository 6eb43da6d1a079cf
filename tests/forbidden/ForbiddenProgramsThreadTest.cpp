// List replacement on receive threads while kill passes run on the frame thread.
#include "FakeProcessTable.h"
#include "forbidden/ForbiddenPrograms.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace forbidden {
namespace {

using test::FakeProcessTable;
using test::processesNamed;

constexpr int kPasses = 2000;

TEST(ForbiddenProgramsThreads, EachPassSeesOneWholeList) {
    auto owned = std::make_unique<FakeProcessTable>(processesNamed({"A1", "B1", "Chrome", "A2", "B2"}));
    FakeProcessTable* table = owned.get();
    ForbiddenPrograms programs(std::move(owned));
    programs.setForbiddanceList("A1,A2");

    std::atomic<bool> stop{false};
    std::thread lists([&] {
        for (bool a = false; !stop.load(); a = !a)
            programs.setForbiddanceList(a ? "A1,A2" : "B1,B2");
    });
    std::thread browsers([&] {
        for (bool on = true; !stop.load(); on = !on)
            programs.setWebBrowserKill(on ? "true" : "false");
    });

    const std::vector<std::string> listA = {"A1", "A2"};
    const std::vector<std::string> listB = {"B1", "B2"};
    int mixed = 0;
    for (int i = 0; i < kPasses; ++i) {
        table->killed.clear();
        programs.killProcess(true);
        std::vector<std::string> programKills = table->killed;
        std::erase(programKills, "Chrome");
        if (programKills != listA && programKills != listB)
            ++mixed;
    }
    stop.store(true);
    lists.join();
    browsers.join();
    EXPECT_EQ(mixed, 0);
}

TEST(ForbiddenProgramsThreads, ConcurrentPassesAreSerialised) {
    auto owned = std::make_unique<FakeProcessTable>(processesNamed({"A1", "x", "A2"}));
    FakeProcessTable* table = owned.get();
    ForbiddenPrograms programs(std::move(owned));
    programs.setForbiddanceList("A1,A2");

    auto run = [&] {
        for (int i = 0; i < kPasses / 2; ++i)
            programs.killProcess(true);
    };
    std::thread first(run);
    std::thread second(run);
    first.join();
    second.join();
    EXPECT_EQ(table->listings, kPasses);
    EXPECT_EQ(table->killed.size(), static_cast<std::size_t>(2 * kPasses));
}

} // namespace
} // namespace forbidden
