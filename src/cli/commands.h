// The commands. Each prints its one JSON document (or, for help and version,
// its text) on standard output and returns the exit status. `words[0]` is the
// command word; the dispatcher has checked that the words they need exist.
// A command checks all its words before it prints anything.
#pragma once

#include <cstdint>
#include <span>

#include "cli/usage.h"
#include "discovery/display_table.h"

using CommandWords = std::span<char* const>;

int commandList(CommandWords words);
int commandGet(CommandWords words);
int commandSet(CommandWords words);
int commandCapabilities(CommandWords words);
int commandProbeaddr(CommandWords words);
int commandFeatures(CommandWords words);
int commandSave(CommandWords words);
int commandRestore(CommandWords words);
int commandHelp(CommandWords words);
int commandVersion(CommandWords words);

// `set <display> <vcp> + <n>` and `- <n>`: `words[3]` is the sign.
int commandSetStep(CommandWords words, uint8_t vcp);

// The write of `set` and of a step: the set transaction, and with --verify
// the read back; true when the monitor took the value.
bool writeSetting(const DisplayRecord& display, uint8_t vcp, uint16_t value);
