// The journal of changes: what panoctl wrote to a display, for the watches
// that report values, in any process of the user's. Each display has one
// file beside its lock files, "display-<id>.journal", of a fixed size: a
// header and one slot per VCP code, each with the last value written, the
// maximum when it was known, a sequence number that every write of the code
// advances, and a checksum. Slots are rewritten in place, so the file never
// grows; a watch knows a new entry by its sequence number.
//
// A change is noted when the monitor took the value, and written to the
// journal once the run has kept it: after the platform's hold is given back
// (the simulated monitors' state file written), at the end of a command,
// a batch line or a library call. So a run killed at any moment leaves no
// entry for a value that was not kept. Entries are written under the
// display's lock. A file that is not the
// journal (garbage, cut short, a link, another user's) is replaced by an
// empty one, made aside and renamed over it under the same lock, and the
// display's journal warning says so once.
#pragma once

#include <array>
#include <cstdint>

#include "ddc/link.h"

struct JournalEntry {
    uint32_t sequence = 0;  // 0: nothing was ever written for the code
    uint16_t value = 0;
    uint16_t maximum = 0;
    bool maximumKnown = false;
};

struct JournalEntries {
    std::array<JournalEntry, 256> codes{};
    // The file read: one made anew (rebuilt, or removed and made again)
    // counts its sequences from the start again.
    uint64_t device = 0;
    uint64_t inode = 0;
};

// Notes that `code` now holds `value` (of `maximum`, when known), for
// publishChanges; a later change of the same code replaces it.
void noteChange(const DdcLink& link, uint8_t code, uint16_t value, const uint16_t* maximum);

// Writes the changes noted for the link's display to its journal, under its
// lock, and forgets them. Silent when the folder cannot be used.
void publishChanges(const DdcLink& link);

// Records that `code` now holds `value` (of `maximum`, when known). The
// caller holds the display's lock. Silent when the folder cannot be used.
void recordChange(const DdcLink& link, uint8_t code, uint16_t value, const uint16_t* maximum);

enum class JournalRead : uint8_t {
    read,     // `entries` holds the well-formed slots; the others read as never written
    missing,  // no journal yet: nothing was written
    failed,   // not the journal; it was rebuilt if it could be, and warned of
};

// Reads the display's journal, without its lock: a slot being written
// while it is read fails its checksum and reads as never written, and the
// write that follows is seen next time.
JournalRead readJournal(const DdcLink& link, JournalEntries* entries);

// The name of the display's journal, as the file events name it.
bool journalFileName(const char* displayId, DisplayFileName* name);
