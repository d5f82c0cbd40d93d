// The flaky bus. Each operation that reaches a flaky monitor takes exactly one
// 64-bit output x of the monitor's std::mt19937_64, whatever its outcome, and
// derives everything from it (std distributions are avoided because their
// output differs between standard libraries; the engine's does not):
//   u = (x >> 11) / 2^53, in [0, 1)
//   a write or read fails when u < failRate;
//   a read that does not fail is garbled when
//     u < failRate + (1 - failRate) * corruptRate
//   (so corruptRate is the chance for a read that succeeds): byte
//   (x >> 8) mod count of what it returns is XORed with 1 + (x mod 255).
#include "flaky_bus.h"

#include <atomic>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "sim_state.h"

namespace sim {
namespace {

std::atomic<uint64_t>& allPauses()
{
    static std::atomic<uint64_t> microseconds{0};
    return microseconds;
}

struct ThreadPauses {
    uint64_t thread;
    uint64_t microseconds = 0;
};

ThreadPauses& threadPauses()
{
    static std::atomic<uint64_t> nextThread{1};
    thread_local ThreadPauses pauses{nextThread++};
    return pauses;
}

// Microseconds paused since `bus`'s request was written, on the clock that
// applies to the reading thread.
uint64_t pausedSinceRequest(const FlakyBus& bus)
{
    const ThreadPauses& own = threadPauses();
    if (own.thread == bus.requestWrittenBy) return own.microseconds - bus.requestWrittenAt;
    return allPauses().load() - bus.requestWrittenAtAll;
}

double unitInterval(uint64_t draw)
{
    constexpr double kScale = 1.0 / static_cast<double>(uint64_t{1} << 53);
    return static_cast<double>(draw >> 11) * kScale;
}

// The reply is not ready yet: the monitor answers as if nothing were
// pending, though the reply stays pending for a later read.
void readTooEarly(Monitor& monitor, uint8_t* out, size_t count)
{
    std::vector<uint8_t> reply;
    std::swap(reply, monitor.pending);
    monitorRead(monitor, out, count);
    std::swap(reply, monitor.pending);
}

}  // namespace

void seedFlakyBuses(int64_t offset)
{
    for (Monitor& monitor : state().machine.monitors) {
        monitor.bus.generator.seed(static_cast<uint64_t>(monitor.bus.seed) +
                                   static_cast<uint64_t>(offset));
    }
}

bool parseSeedOffset(const char* text, int64_t* offset, std::string* error)
{
    *offset = 0;
    if (text == nullptr || *text == '\0') return true;
    std::string_view digits(text);
    auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), *offset);
    if (status == std::errc() && end == digits.data() + digits.size()) return true;
    *error = "seed " +
             nlohmann::json(std::string(digits))
                 .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
             ": expected an integer from " + std::to_string(std::numeric_limits<int64_t>::min()) +
             " to " + std::to_string(std::numeric_limits<int64_t>::max());
    return false;
}

void advancePauseClock(uint32_t microseconds)
{
    threadPauses().microseconds += microseconds;
    allPauses() += microseconds;
}

bool flakyWriteAccepted(Monitor& monitor)
{
    FlakyBus& bus = monitor.bus;
    if (bus.enabled && unitInterval(bus.generator()) < bus.failRate) return false;
    bus.requestWrittenBy = threadPauses().thread;
    bus.requestWrittenAt = threadPauses().microseconds;
    bus.requestWrittenAtAll = allPauses().load();
    return true;
}

bool flakyRead(Monitor& monitor, uint8_t* out, size_t count)
{
    FlakyBus& bus = monitor.bus;
    if (!bus.enabled) {
        monitorRead(monitor, out, count);
        return true;
    }
    uint64_t draw = bus.generator();
    double u = unitInterval(draw);
    if (u < bus.failRate) return false;
    if (pausedSinceRequest(bus) < bus.replyDelay) {
        readTooEarly(monitor, out, count);
    } else {
        monitorRead(monitor, out, count);
    }
    if (count > 0 && u < bus.failRate + (1 - bus.failRate) * bus.corruptRate) {
        out[(draw >> 8) % count] ^= static_cast<uint8_t>(1 + draw % 255);
    }
    return true;
}

}  // namespace sim
