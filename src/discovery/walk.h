// Discovery: one pass over the I/O registry that fills the display table.
#pragma once

// Walks the whole IOService plane once and appends a record for every AV
// service proxy that can be tied to an EDID UUID and opened. With DDC_DEBUG
// set, writes the walk's counters to standard error.
void enumerateDisplays();
