// What one batch line costs besides its pauses: a `get` answered in-process
// on the built-in machine, pauses traced but not waited, each line timed on
// its own for the median and the 99th percentile. Compare with
// BM_Command/get (a whole one-shot run in-process) and BM_DiscoveryBuiltIn
// (one discovery), which a batch pays once instead of per line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

void BM_BatchLine(benchmark::State& state, const char* line)
{
    std::string error;
    if (!bench::readyBuiltInMachine(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    std::vector<double> microseconds;
    microseconds.reserve(1 << 20);
    std::array<char, 4096> buffer{};
    const size_t length = std::strlen(line);
    const RunOptions options;
    Session session;
    {
        bench::QuietStdout quiet;
        beginBatch(&session);
        for (auto _ : state) {
            auto start = std::chrono::steady_clock::now();
            // The line is split in place, so each answer starts from a fresh copy.
            std::memcpy(buffer.data(), line, length);
            answerBatchLine(&session, buffer.data(), length, options);
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
    releaseDisplays(&session.displays);
    state.counters["median_us"] = percentile(&microseconds, 0.5);
    state.counters["p99_us"] = percentile(&microseconds, 0.99);
}

BENCHMARK_CAPTURE(BM_BatchLine, get, "get 52721127-E5C3-A401-1720-0104B53C2278 0x10")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, get_by_position_and_name, "get 1 brightness")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, refused, "get 1 nonsense")->Unit(benchmark::kMicrosecond);

}  // namespace
