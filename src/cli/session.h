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

// What a platform keeps per command, around each batch line that reaches a
// monitor, given by the entry point that runs the batch: the simulated build locks and reads its
// monitor state file before the line and writes it back and unlocks it after, before the answer
// goes out, so that an answer never reports a change that was not kept and other runs get their
// turn between lines. The process took the same hold for its whole run at start-up, so a batch
// first gives that back. Each returns false after writing its one-line error (and, for `give`,
// dropping the answer held for the line); the batch then stops with status 2. Null members do
// nothing.
struct CommandHold {
    bool (*take)() = nullptr;
    bool (*give)() = nullptr;
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
    CommandHold hold;  // the platform's, around the bus work of a batch line or a watch's look
    WarnedDisplays warned;
    bool discovered = false;        // only a run that discovered reports its counters
    bool rediscoverOnMiss = false;  // batch: a selector that finds nothing discovers again
    bool batch = false;             // standard input carries the batch's lines
    bool outputFailureReported = false;
};

// A run with a platform hold tells its changes once the hold is given back.
inline void deferChangesToHold(const Session& session, const DdcLink& link)
{
    if (link.lock != nullptr) {
        link.lock->changes.deferred = session.hold.give != nullptr;
    }
}

// The link the session's commands drive a display through: its lock in the
// session's table, the command's retry count, and the run's counters.
inline DdcLink sessionLink(Session* session, const DisplayRecord& display)
{
    DdcLink link =
        displayLink(&session->displays, display, session->options.retries, &session->counters);
    deferChangesToHold(*session, link);
    return link;
}
