// Discovery as a run makes it, and the display a command's selector names,
// as every command looks it up.
#pragma once

#include "cli/session.h"

// Fills the session's display table afresh and shows the walk's counters
// under DDC_DEBUG.
void discoverDisplays(Session* session);

// The display that `selector` (an id or a position) names in the latest
// discovery's table, or null. When misses are rediscovered (batch mode), a
// selector that finds nothing makes discovery run once more before it is
// looked up again, so a display plugged in since the last discovery is
// found; positions then refer to the new table.
const DisplayRecord* lookupDisplay(Session* session, const char* selector);

// Exit status of a command that answered {"error":"no_such_display"}.
inline constexpr int kStatusNoSuchDisplay = 1;

// lookupDisplay for the commands that answer a selector that finds nothing
// with {"error":"no_such_display"} and kStatusNoSuchDisplay: prints that
// answer and returns null then.
const DisplayRecord* lookupDisplayOrAnswer(Session* session, const char* selector);
