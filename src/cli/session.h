// One run's state, from its first word to its last line of output: the
// options, the displays found, what went over the bus, where documents and
// diagnostics go, and the batch's input. main keeps it on its stack and
// passes it down; nothing of a run lives anywhere else.
#pragma once

#include <array>
#include <cstdio>

#include "cli/line_reader.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "config/configuration.h"
#include "ddc/link.h"
#include "discovery/display_diff.h"
#include "discovery/display_table.h"

// Displays whose lock warning this run has shown; the table may be filled
// again and again, with the same displays.
struct WarnedDisplays {
    static constexpr size_t kCapacity = 32;
    std::array<std::array<char, sizeof(DisplayRecord::id)>, kCapacity> ids{};
    size_t count = 0;
};

struct Session {
    std::FILE* out = stdout;  // documents
    std::FILE* err = stderr;  // warnings, failures and the DDC_DEBUG lines
    RunOptions options;       // those of the command running now
    Configuration config;     // read from the file at start; empty without one
    Refusals refusals;
    DisplayTable displays;
    KnownDisplays watched;      // watch: the table the next discovery is compared with
    TransferCounters counters;  // every display's, for the whole run or batch
    LineReader lines;           // a batch's standard input
    WarnedDisplays warned;
    bool discovered = false;        // only a run that discovered reports its counters
    bool rediscoverOnMiss = false;  // batch: a selector that finds nothing discovers again
    bool batch = false;             // standard input carries the batch's lines
    bool outputFailureReported = false;
};

// The link the session's commands drive a display through: its lock in the
// session's table, the command's retry count, and the run's counters.
inline DdcLink sessionLink(Session* session, const DisplayRecord& display)
{
    return displayLink(&session->displays, display, session->options.retries, &session->counters);
}
