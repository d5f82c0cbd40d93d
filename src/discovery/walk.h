// Discovery: a pass over the I/O registry that fills the display table.
#pragma once

#include <cstdint>

#include "discovery/display_table.h"

// What one discovery met, for the debug line a caller may show.
struct WalkCounters {
    int32_t shim = 0;          // panel nodes met
    int32_t shimWithUuid = 0;  // panel nodes that had an EDID UUID
    int32_t proxy = 0;         // proxy nodes met, added or not
    int32_t added = 0;         // displays in the table afterwards
    bool walked = false;       // false when the registry could not be walked at all
};

// Empties the table (releasing what the previous discovery held), then walks
// the whole IOService plane and appends a record for every AV service proxy
// that can be tied to an EDID UUID and opened. A walk that the registry
// changed under is done again. Holds no registry reference afterwards; the
// table's AV service handles last until the next discovery or
// releaseDisplays(). Returns the counters of the pass that was kept. Can run
// any number of times in one process.
WalkCounters enumerateDisplays(DisplayTable* table);
