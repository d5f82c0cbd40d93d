// A diagnostic: which chip and data addresses a display answers on.
#pragma once

#include <array>
#include <cstdint>

#include "ddc/link.h"

// What one address combination gave.
struct ProbeResult {
    uint32_t chip = 0;
    uint32_t dataAddress = 0;
    bool written = false;  // the bare request was acknowledged
    bool ok = false;       // a VCP read there gave a valid reply
    int32_t current = -1;
    int32_t maximum = -1;
};

inline constexpr size_t kProbeCombinations = 6;

// Tries a VCP read at each of the six address combinations and returns a
// result for each, in a fixed order: chip 0x37, then 0x50, each with data
// addresses 0x51, 0x50 and 0x52.
std::array<ProbeResult, kProbeCombinations> probeAddresses(const DdcLink& link, uint8_t vcp);
