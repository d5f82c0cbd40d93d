// The display a command's selector names, as every command looks it up.
#pragma once

#include "discovery/display_table.h"

// The display that `selector` (an id or a position) names in the latest
// discovery's table, or null. When misses are rediscovered (batch mode), a
// selector that finds nothing makes discovery run once more before it is
// looked up again, so a display plugged in since the last discovery is
// found; positions then refer to the new table.
const DisplayRecord* lookupDisplay(const char* selector);

// Turns that second discovery on or off; off by default, as a one-shot run
// has just discovered.
void rediscoverWhenSelectorMisses(bool rediscover);
