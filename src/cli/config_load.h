// The configuration file a run reads: where it is, from the environment,
// and its tables into the session, once, before the command runs.
#pragma once

#include <array>

#include "cli/session.h"
#include "config/config_file.h"

// The file's path: $PANOCTL_CONFIG when set and not empty, else
// $XDG_CONFIG_HOME/panoctl/config.toml, else ~/.config/panoctl/config.toml
// ($HOME); empty when none of them is set or the path would not fit.
void configPathFromEnvironment(std::array<char, kConfigPathCapacity>* path);

// Reads the configuration into the session. A file that is refused is
// refused as the command line is ("panoctl: config <path>:<line>:<column>:
// <what>"), and the run must end with kStatusUsage: false then.
bool loadSessionConfig(Session* session);
