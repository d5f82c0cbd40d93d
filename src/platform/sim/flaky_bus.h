// A monitor's unreliable I2C link, as the scenario's "bus" member describes
// it: transfers that fail, replies that arrive garbled, and replies that are
// not ready until some time after their request. Every chance comes from the
// monitor's own seeded generator, one draw per operation, so a run is
// reproducible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace sim {

struct Monitor;

struct FlakyBus {
    bool enabled = false;  // the scenario gave a "bus" member
    double failRate = 0;
    double corruptRate = 0;
    uint32_t replyDelay = 0;  // microseconds
    int64_t seed = 0;
    std::mt19937_64 generator;
    // When the monitor last accepted a write: the writing thread, that
    // thread's pause clock and the clock of every thread's pauses.
    uint64_t requestWrittenBy = 0;
    uint64_t requestWrittenAt = 0;
    uint64_t requestWrittenAtAll = 0;
};

// Seeds every flaky monitor's generator of the current machine with its seed
// plus `offset`, modulo 2^64.
void seedFlakyBuses(int64_t offset);
// Reads the seed offset from the text of PANOCTL_SIM_SEED (null or empty:
// 0). False with *error set when it is not a decimal 64-bit integer.
bool parseSeedOffset(const char* text, int64_t* offset, std::string* error);

// Every pause moves the clocks that reply delays are measured on: that of
// the pausing thread and that of all threads. A reply read by the thread
// that wrote its request is measured on that thread's clock, so a monitor
// driven by a thread of its own sees only its own pauses, as when it is
// driven alone; one read by another thread (a later command) on the clock
// of all threads.
void advancePauseClock(uint32_t microseconds);

// Hooks of the AV service for a write or read at chip 0x37 that the
// monitor's faults do not name. A write: false when the bus drops it (it
// then has no effect). A read: false when the bus drops it (nothing is
// returned); otherwise `out` holds what the monitor answers, late or garbled
// as the bus makes it.
bool flakyWriteAccepted(Monitor& monitor);
bool flakyRead(Monitor& monitor, uint8_t* out, size_t count);

}  // namespace sim
