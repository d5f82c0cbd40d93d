// The lines a run writes to its diagnostic stream besides refusals: lock
// warnings, once per display, and the DDC_DEBUG lines of discovery and of
// the transfer counters.
#pragma once

#include "cli/session.h"
#include "config/configuration.h"
#include "discovery/walk.h"

// Whether DDC_DEBUG asks for the [dbg] lines.
bool debugLinesWanted();

// Writes each display's pending lock warning, unless this run showed one for
// that display already, and clears it.
void showLockWarnings(Session* session);

// With DDC_DEBUG set: "[dbg] shim=S shimWithUUID=U proxy=P added=A" for a
// walk that ran.
void showWalkCounters(const Session& session, const WalkCounters& counters);

// With DDC_DEBUG set: "[dbg] quirk <name> on <id>: <what>", a quirk of the
// configuration applied to a display (name and id escaped).
void showQuirk(const Session& session, const Quirk& quirk, const char* id, const char* what);

// With DDC_DEBUG set, when the run discovered displays:
// "[dbg] writes=W reads=R failed=F retries=K". For the end of a run (or
// batch), after its documents.
void showTransferCounters(const Session& session);
