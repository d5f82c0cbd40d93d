// The capabilities string as the commands that show it accept it.
#pragma once

#include <cstddef>

#include "ddc/capabilities.h"
#include "ddc/link.h"
#include "discovery/display_table.h"
#include "mccs/capabilities_parse.h"

// Reads the display's capabilities string into `text` and returns its
// length, 0 only when no byte came back. Whatever came is kept, whatever its
// first byte: real monitors send strings without the outer parentheses, and
// a text that is not a capabilities string still decodes to nothing.
size_t readUsableCapabilities(const DdcLink& link, CapabilitiesText* text);

// The string for the commands that decode it (features, save): the cached
// copy of `display` when there is one and `refresh` is not asked; otherwise
// read through `link`, and kept in the cache when it was read whole.
size_t readCachedCapabilities(const DdcLink& link, const DisplayRecord& display, bool refresh,
                              CapabilitiesText* text);

// Decodes what the capabilities command would show of `text`: its first
// `length` bytes, up to a NUL.
void decodeCapabilities(const CapabilitiesText& text, size_t length, Capabilities* capabilities);
