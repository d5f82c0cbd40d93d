// Discovery: a pass over the I/O registry that fills the display table.
#pragma once

// Empties the table (releasing what the previous discovery held), then walks
// the whole IOService plane and appends a record for every AV service proxy
// that can be tied to an EDID UUID and opened. A walk that the registry
// changed under is done again. Holds no registry reference afterwards; the
// table's AV service handles last until the next discovery or
// releaseDisplays(). With DDC_DEBUG set, writes the walk's counters to
// standard error. Can run any number of times in one process.
void enumerateDisplays();
