// Each command in-process on the built-in machine, pauses traced but not
// waited: what a run costs besides process start and the pauses. Standard
// output goes to /dev/null meanwhile. Counters: registry operations and Core
// Foundation objects created per run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "cli/dispatch.h"
#include "sim_control.h"

namespace {

constexpr const char* kLeft = "52721127-E5C3-A401-1720-0104B53C2278";
constexpr const char* kRight = "458E2032-0000-0000-0A1F-0104B5462778";

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
};

const std::vector<CommandCase> kCases = {
    {"list", {"list"}},
    {"get", {"get", kLeft, "0x10"}},
    {"set", {"set", kRight, "16", "70"}},
    {"capabilities", {"capabilities", kLeft}},
    {"probeaddr", {"probeaddr", kLeft}},
    {"get_unknown_id", {"get", "00000000-0000-0000-0000-000000000000", "0x10"}},
};

void runCommand(benchmark::State& state, const CommandCase& command)
{
    std::string error;
    if (!bench::readyBuiltInMachine(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    std::vector<std::string> words{"panoctl"};
    words.insert(words.end(), command.args.begin(), command.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    const uint64_t operationsBefore = sim::registryOperations();
    const uint64_t objectsBefore = sim::cfObjectsCreated();
    int status = 0;
    // One session for every run, as a process has one: each discovery first
    // releases what the previous one kept.
    Session session;
    {
        bench::QuietStdout quiet;
        for (auto _ : state) {
            status = panoctl_main(&session, argc, argv.data());
            benchmark::DoNotOptimize(status);
            // What a process would drop at exit: the trace kept in memory.
            // The AV service handles go with the next run's discovery.
            sim::clearTrace();
        }
    }
    releaseDisplays(&session.displays);
    if (status != 0) {
        state.SkipWithError("the command failed");
        return;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["reg_ops"] =
        static_cast<double>(sim::registryOperations() - operationsBefore) / runs;
    state.counters["cf_objects"] =
        static_cast<double>(sim::cfObjectsCreated() - objectsBefore) / runs;
}

// The simulated platform's own start-up in every sim process: parsing the
// built-in machine's scenario text.
void BM_LoadDefaultScenario(benchmark::State& state)
{
    std::string error;
    bench::ensureMachine(0, 0, &error);
    for (auto _ : state) {
        sim::loadDefaultScenario();
    }
}
BENCHMARK(BM_LoadDefaultScenario)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const bool kRegistered = [] {
    for (const CommandCase& command : kCases) {
        benchmark::RegisterBenchmark((std::string("BM_Command/") + command.name).c_str(),
                                     runCommand, command)
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
