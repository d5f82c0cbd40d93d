// The header at the top of every capabilities cache file: the key the file
// was written for, and the length and checksum of the text after it. A file
// is used only when its header names the display that reads it and the text
// is exactly what was written, so a file cut short, written for another
// display, or holding anything else is never taken for a capabilities string.
//
//   panoctl capabilities cache 1
//   id <EDID UUID>
//   serial <serial, maybe empty>
//   path <IOService path of the display's proxy entry, maybe empty>
//   length <bytes of text, decimal>
//   checksum <FNV-1a 64 of the text, 16 lower-case hex digits>
//   <empty line>
//   <text>
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "discovery/display_table.h"

// The longest header: the fixed words and every field at its longest.
inline constexpr size_t kMaxCacheHeaderBytes =
    29 + 4 + sizeof(DisplayRecord::id) + 8 + sizeof(DisplayRecord::serial) + 6 +
    sizeof(DisplayRecord::registryPath) + 8 + 20 + 10 + 16 + 2;

// FNV-1a, 64 bits: cheap, and enough to catch a cut or altered text (it is
// no defence against someone who can write the user's files anyway).
uint64_t cacheChecksum(std::string_view text);

// Writes the header for `display` and `text` into `out`; returns its length,
// or 0 when it does not fit.
size_t writeCacheHeader(const DisplayRecord& display, std::string_view text, std::span<char> out);

// The text of a cache file's content when its header is the one `display`
// would write for it (key, length and checksum all matching); empty
// otherwise.
std::string_view cachedText(const DisplayRecord& display, std::string_view file);
