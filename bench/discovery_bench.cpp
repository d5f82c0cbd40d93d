// Discovery on the built-in machine, and over generated registries of 1,000 to 100,000 entries with
// 1, 4 and 16 displays. Reports the time per registry entry (flat if discovery is linear in the
// registry's size) and, per discovery, the registry operations (each a call into the kernel on the
// real system) and the Core Foundation objects created, from the simulated platform's counters.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "discovery/display_table.h"
#include "discovery/walk.h"
#include "sim_control.h"

namespace {

void BM_Discovery(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const int displays = static_cast<int>(state.range(1));
    std::string error;
    if (!bench::ensureMachine(entries, displays, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    unsetenv("DDC_DEBUG");
    const uint64_t operationsBefore = sim::registryOperations();
    const uint64_t objectsBefore = sim::cfObjectsCreated();
    int32_t found = 0;
    DisplayTable table;
    for (auto _ : state) {
        // Each discovery first releases what the previous one kept.
        enumerateDisplays(&table);
        found = table.count;
    }
    releaseDisplays(&table);
    if (found != displays) {
        state.SkipWithError("discovery did not find every display");
        return;
    }
    const auto runs = static_cast<double>(state.iterations());
    using benchmark::Counter;
    state.counters["per_entry"] = Counter(static_cast<double>(entries),
                                          Counter::kIsIterationInvariantRate | Counter::kInvert);
    state.counters["reg_ops"] =
        static_cast<double>(sim::registryOperations() - operationsBefore) / runs;
    state.counters["cf_objects"] =
        static_cast<double>(sim::cfObjectsCreated() - objectsBefore) / runs;
}

// One discovery on the built-in machine, as a batch makes before a `list`;
// each releases what the previous one kept.
void BM_DiscoveryBuiltIn(benchmark::State& state)
{
    std::string error;
    if (!bench::ensureMachine(0, 0, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    unsetenv("DDC_DEBUG");
    DisplayTable table;
    for (auto _ : state) {
        enumerateDisplays(&table);
    }
    const bool foundBoth = table.count == 2;
    releaseDisplays(&table);
    if (!foundBoth) state.SkipWithError("discovery did not find both displays");
}
BENCHMARK(BM_DiscoveryBuiltIn)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_Discovery)
    ->ArgsProduct({{1000, 10000, 100000}, {1, 4, 16}})
    ->ArgNames({"entries", "displays"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
