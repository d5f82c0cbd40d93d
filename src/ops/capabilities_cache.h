// Capabilities strings kept from run to run, one file per display, keyed by
// its id, serial and registry path: a string changes only with the monitor's
// firmware, and reading it takes a real monitor 15 to 35 fragments at 20 ms
// or more each.
//
// The folder is the platform's cache folder for panoctl, made private (0700)
// when missing. A file is written under a name no other run can predict
// (mode 0600), then renamed into place, so a run stopped at any moment
// leaves the old copy or the new one; a write removes temporary files that
// killed runs left, once they are a minute old. Each file starts with a header naming
// the display it was written for and the length and checksum of its string
// (ops/cache_header.h). Nothing is followed through a symbolic link; a file
// that is not regular, is over 4 KiB, cannot be read, has a header for
// another display or one its string does not match, or holds no string a
// reading could give (empty, a NUL, 2 KiB or more) is ignored, and the next
// reading from the monitor replaces it. A cache that cannot be read or
// written is silent: the caller reads the monitor as if there were none.
#pragma once

#include <cstddef>
#include <string_view>

#include "ddc/capabilities.h"
#include "discovery/display_table.h"

// Larger cache files are not read: a header and the longest string fit.
inline constexpr size_t kMaxCacheFileBytes = 4096;

// Copies the display's cached capabilities string into `text` (NUL
// terminated) and returns its length, or 0 when there is no usable copy.
size_t loadCachedCapabilities(const DisplayRecord& display, CapabilitiesText* text);

// Keeps `text` as the display's capabilities string, replacing any copy.
void storeCachedCapabilities(const DisplayRecord& display, std::string_view text);
