// The display's capabilities string, read in fragments over DDC/CI.
#pragma once

#include <array>
#include <cstddef>

#include "ddc/link.h"

// Up to 2047 bytes of text and its NUL.
using CapabilitiesText = std::array<char, 2048>;

// Most fragments one reading asks for, so that a monitor that never ends its
// string cannot keep the tool on the bus.
inline constexpr int kMaxCapabilitiesFragments = 64;

// Reads the capabilities string into `text` (always NUL-terminated) and
// returns its length. Each request asks for the offset just past the data
// received so far. Reading ends at the monitor's end-of-string fragment, a
// NUL, a full buffer, after 64 fragments, or at a failed transfer or invalid
// fragment, and for a text that starts with '(' when its parentheses close;
// whatever was gathered is kept, whatever its first byte. `*whole`, when
// given, says whether the string ended as a string ends (the end-of-string
// fragment, a NUL, the parentheses closed) rather than cut off by a failure
// or a limit.
size_t asReadCapabilities(const DdcLink& link, CapabilitiesText* text, bool* whole = nullptr);
