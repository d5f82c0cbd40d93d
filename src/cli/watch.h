// What `watch` and its value lines share.
#pragma once

#include <atomic>

#include "cli/session.h"

struct ValueWatch;

struct WatchProgress {
    long events = 0;  // change lines written
    bool done = false;
};

// Set by SIGINT and SIGTERM.
bool watchStopAsked();

// Counts one change line; true when the watch is to end after it (--count
// reached, or a stop asked).
bool countChange(const Session& session, WatchProgress* progress);

// Discovers again and writes what changed since the last table, with the
// initial values of displays added when `values` is set.
int printDisplayChanges(Session* session, WatchProgress* progress, ValueWatch* values);
