// The state behind a panoctl_session: the display table of the latest
// discovery and what keeps the session's threads apart. The table is
// shared by the calls that use its displays and taken whole by
// rediscovery; each display has a turn that keeps this process's calls on
// it one at a time (the lock file keeps other processes out, but not other
// threads of this one).
#pragma once

#include <array>
#include <mutex>
#include <shared_mutex>

#include "config/configuration.h"
#include "discovery/display_table.h"
#include "lib/latest.h"
#include "lib/watch.h"
#include "panoctl/panoctl.h"

// Ids this session has found, to tell a display that went from one that
// never was.
struct SeenIds {
    static constexpr size_t kCapacity = 64;
    std::array<std::array<char, sizeof(DisplayRecord::id)>, kCapacity> ids{};
    size_t count = 0;
};

struct panoctl_session {
    panoctl_options options{};
    Configuration config;          // read from the options' file at open; empty without one
    std::shared_mutex tableGuard;  // shared by display calls, taken whole by discovery
    DisplayTable displays;
    SeenIds seen;
    std::array<std::mutex, kMaxDisplays> turns;  // by the display's place in the table
    LatestValues latest;                         // panoctl_set_latest's values and lanes
    SessionWatch watch;                          // hot-plug events for a main loop
};

// Discovers the displays again; the caller holds tableGuard exclusively.
void discoverSessionDisplays(panoctl_session* session);

// Whether `selector` is, in any letter case, an id this session found.
bool seenBefore(const panoctl_session& session, const char* selector);
