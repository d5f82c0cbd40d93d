// What one batch line costs besides its pauses: a `get` answered in-process
// on the built-in machine, pauses traced but not waited, each line timed on
// its own for the median and the 99th percentile. Compare with
// BM_Command/get (a whole one-shot run in-process) and BM_DiscoveryBuiltIn
// (one discovery), which a batch pays once instead of per line.
//
// With a state file (`state` variants) each line that reaches a monitor
// takes the file's lock, reads it, and, when it changed a value, writes it
// back (new file, fsync, rename) before its answer, as the sim build's batch
// does; the lines without it are what a batch cost when it held the state
// file for its whole life. The `set` lines alternate between two values, so
// every one of them changes one and costs one write.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <cstdlib>
#include <filesystem>

#include "bench_support.h"
#include "cli/batch.h"
#include "sim_control.h"

namespace {

double percentile(std::vector<double>* samples, double fraction)
{
    if (samples->empty()) return 0;
    auto rank = static_cast<size_t>(fraction * static_cast<double>(samples->size() - 1));
    std::nth_element(samples->begin(), samples->begin() + static_cast<ptrdiff_t>(rank),
                     samples->end());
    return (*samples)[rank];
}

// The sim build's command hold, without its messages.
bool takeState()
{
    std::string error;
    return sim::takeMonitorState(&error);
}

bool giveState()
{
    std::string error;
    return sim::giveMonitorState(&error);
}

// Points PANOCTL_SIM_STATE at a fresh file (or at none) and takes the hold a
// run takes at start-up, which the batch gives back first.
bool useStateFile(CommandHold* hold, bool use, std::string* error)
{
    std::string path =
        (std::filesystem::temp_directory_path() / "panoctl-bench-state.json").string();
    std::filesystem::remove(path);
    if (use) {
        setenv("PANOCTL_SIM_STATE", path.c_str(), 1);
    } else {
        unsetenv("PANOCTL_SIM_STATE");
    }
    // It loads the built-in machine again and reads PANOCTL_SIM_FAST.
    if (!sim::configureFromEnvironment(error)) return false;
    sim::setFastPauses(true);
    *hold = use ? CommandHold{takeState, giveState} : CommandHold{};
    return use ? sim::giveMonitorState(error) : true;
}

void BM_BatchLine(benchmark::State& state, const char* line, const char* other, bool withState)
{
    std::string error;
    Session session;
    CommandHold hold;
    if (!bench::readyBuiltInMachine(&error) || !useStateFile(&hold, withState, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    std::vector<double> microseconds;
    microseconds.reserve(1 << 20);
    std::array<char, 4096> buffer{};
    const RunOptions options;
    bool odd = false;
    {
        bench::QuietStdout quiet;
        beginBatch(&session);
        for (auto _ : state) {
            auto start = std::chrono::steady_clock::now();
            // The line is split in place, so each answer starts from a fresh copy.
            const char* next = odd && other != nullptr ? other : line;
            odd = !odd;
            const size_t length = std::strlen(next);
            std::memcpy(buffer.data(), next, length);
            answerBatchLine(&session, buffer.data(), length, options, hold);
            std::fflush(stdout);
            auto elapsed = std::chrono::steady_clock::now() - start;
            if (microseconds.size() < microseconds.capacity()) {
                microseconds.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
            }
            // What the process would not keep either: the trace in memory.
            sim::clearTrace();
        }
        endBatch(&session);
    }
    useStateFile(&hold, false, &error);
    releaseDisplays(&session.displays);
    state.counters["median_us"] = percentile(&microseconds, 0.5);
    state.counters["p99_us"] = percentile(&microseconds, 0.99);
}

BENCHMARK_CAPTURE(BM_BatchLine, get, "get 52721127-E5C3-A401-1720-0104B53C2278 0x10", nullptr,
                  false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, get_by_position_and_name, "get 1 brightness", nullptr, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, refused, "get 1 nonsense", nullptr, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, set, "set 2 0x12 30", "set 2 0x12 31", false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, get_state, "get 1 brightness", nullptr, true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, set_state, "set 2 0x12 30", "set 2 0x12 31", true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
