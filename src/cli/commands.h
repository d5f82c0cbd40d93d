// The commands. Each prints its one JSON document (or, for help and version,
// its text) on standard output and returns the exit status. `words[0]` is the
// command word; the dispatcher has checked that the words they need exist.
// A command checks all its words before it prints anything.
#pragma once

#include <cstdint>
#include <span>

#include "cli/arguments.h"
#include "cli/usage.h"
#include "discovery/display_table.h"

using CommandWords = std::span<char* const>;

int commandList(CommandWords words);
int commandGet(CommandWords words);
int commandSet(CommandWords words);
int commandCapabilities(CommandWords words);
int commandProbeaddr(CommandWords words);
int commandFeatures(CommandWords words);
int commandHelp(CommandWords words);
int commandVersion(CommandWords words);

// `set`'s changes that start from the current value (steps, percentages):
// one get transaction, then one set transaction of the value the change
// makes of it, printing {"ok":B,"value":V}, or {"ok":false,"value":null}
// with nothing written when the read fails or the display is unknown.
int commandSetFromCurrent(const char* selector, uint8_t vcp, const SettingChange& change);

// The write of `set` and of a step: the set transaction, and with --verify
// the read back; true when the monitor took the value.
bool writeSetting(const DisplayRecord& display, uint8_t vcp, uint16_t value);

// The exit status of a command whose document reports a failure when
// `failed`: 1 with --fail, otherwise 0 (the document says it).
inline constexpr int kStatusDocumentFailed = 1;
int documentStatus(bool failed);
