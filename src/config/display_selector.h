// Selectors as a configuration extends them: an alias names the display its
// table describes, before ids and positions are tried.
#pragma once

#include "config/config_lookup.h"
#include "config/configuration.h"
#include "discovery/display_table.h"

// The id, serial and name that aliases and quirks are matched against.
DisplayKey displayKeyOf(const DisplayRecord& display);

// The display `selector` names: for an alias (in any letter case), the
// first display of the table its table names, or null when none is
// connected; otherwise findDisplay's.
const DisplayRecord* findSelected(const Configuration& config, const DisplayTable& table,
                                  const char* selector);

// The alias of a display, or null.
const char* aliasNameOf(const Configuration& config, const DisplayKey& display);
