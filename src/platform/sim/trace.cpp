// The trace of I2C operations and pauses: kept in memory for the current
// machine (for in-process tests; a process of the sim build keeps none, so a
// long batch does not grow) and, when a trace file is set, appended to it one flushed line at a
// time, so a run that is killed still leaves every line it made. Pauses live
// here too since each one is a trace line.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "platform/platform.h"
#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct TraceSettings {
    // Threads that serve different displays trace at the same time; each
    // line is appended whole, in the order the operations happened.
    std::mutex lines;
    std::unique_ptr<std::FILE, FileCloser> file;
    bool fast = false;
    bool keptInMemory = true;
};

TraceSettings& settings()
{
    static TraceSettings instance;
    return instance;
}

// Waits `microseconds` as closely as the system allows. The kernel wakes a
// sleeper up to its timer slack late (50 µs by default on Linux) and a
// virtual machine adds its own wake-up latency, which over the 26 pauses of
// a capabilities read add up to milliseconds the monitor never asked for.
// So the timer slack is cut to the minimum, the sleep ends kSpin short of
// the deadline, and the rest is spent watching the clock (2% of a 10 ms
// pause on the processor, for a pause within a few microseconds).
void waitPrecisely(uint32_t microseconds)
{
#if defined(__linux__)
    // The slack is each thread's own: the threads that serve several
    // displays at once cut theirs too.
    thread_local const bool kSlackCut = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)kSlackCut;
#endif
    constexpr auto kSpin = std::chrono::microseconds(200);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    if (microseconds > kSpin.count()) std::this_thread::sleep_until(deadline - kSpin);
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace

bool openTraceFile(const std::string& path, std::string* error)
{
    settings().file.reset();
    if (path.empty()) return true;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        if (error != nullptr) *error = "cannot open (" + describeError(errno) + ")";
        return false;
    }
    settings().file.reset(file);
    return true;
}

void setTraceFile(const std::string& path)
{
    openTraceFile(path, nullptr);
}

void appendTrace(std::string line)
{
    std::lock_guard<std::mutex> hold(settings().lines);
    if (std::FILE* file = settings().file.get()) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fflush(file);
    }
    if (settings().keptInMemory) state().trace.push_back(std::move(line));
}

void keepTraceInMemory(bool keep)
{
    settings().keptInMemory = keep;
    if (!keep) clearTrace();
}

const std::vector<std::string>& traceLines()
{
    return state().trace;
}
void clearTrace()
{
    state().trace.clear();
}
void setFastPauses(bool fast)
{
    settings().fast = fast;
}

}  // namespace sim

void pauseMicroseconds(uint32_t microseconds)
{
    sim::appendTrace("sleep " + std::to_string(microseconds));
    sim::advancePauseClock(microseconds);
    if (!sim::settings().fast) sim::waitPrecisely(microseconds);
}
