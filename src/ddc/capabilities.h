// The display's capabilities string, read in chunks over DDC/CI.
#pragma once

#include <array>
#include <cstddef>

#include "discovery/display_table.h"

// 13 chunks of at most 35 bytes never come near this.
using CapabilitiesText = std::array<char, 2048>;

// Reads the capabilities string into `text` (always NUL-terminated) and
// returns its length. Stops at a text ending in ')', at the first failed
// transfer, or after 13 chunks; whatever was gathered is kept.
size_t asReadCapabilities(const DisplayRecord& display, CapabilitiesText* text);
