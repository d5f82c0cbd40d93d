// The members that name a display in every document that lists displays
// (list, watch), escaped the same way everywhere.
#pragma once

#include <cstdio>

#include "config/configuration.h"

// Writes "id":"…","name":"…","serial":"…" (no braces) to `out`. The id is
// escaped too: it comes from the registry like the name and the serial.
// With a configuration file, "alias":"…" or "alias":null follows them.
void printDisplayMembers(std::FILE* out, const Configuration& config, const char* id,
                         const char* name, const char* serial);

// Writes only ,"alias":"…" or ,"alias":null, and nothing without a file.
void printAliasMember(std::FILE* out, const Configuration& config, const char* id, const char* name,
                      const char* serial);
