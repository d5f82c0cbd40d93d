// A diagnostic: which chip and data addresses a display answers on.
#pragma once

#include <cstdint>

#include "discovery/display_table.h"

// Tries a VCP read at each of the six address combinations and prints one
// JSON object with an entry for each, in a fixed order.
void probeAddresses(const DisplayRecord& display, uint8_t vcp);
