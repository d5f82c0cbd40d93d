// The commands. Each prints its one JSON document (or, for help and version,
// its text) on the session's output and returns the exit status. `words[0]`
// is the command word; the dispatcher has checked that the words they need
// exist. A command checks all its words before it prints anything.
#pragma once

#include <cstdint>
#include <span>

#include "cli/arguments.h"
#include "cli/session.h"
#include "cli/usage.h"
#include "ddc/link.h"
#include "discovery/display_table.h"

using CommandWords = std::span<char* const>;

int commandList(Session* session, CommandWords words);
int commandGet(Session* session, CommandWords words);
int commandSet(Session* session, CommandWords words);
int commandCapabilities(Session* session, CommandWords words);
int commandProbeaddr(Session* session, CommandWords words);
int commandFeatures(Session* session, CommandWords words);
int commandSave(Session* session, CommandWords words);
int commandRestore(Session* session, CommandWords words);
int commandWatch(Session* session, CommandWords words);
// Installs the handlers by which SIGINT and SIGTERM stop a watch.
void catchWatchStopSignals();
int commandConfig(Session* session, CommandWords words);
int commandHelp(Session* session, CommandWords words);
int commandVersion(Session* session, CommandWords words);

// `set`'s changes that start from the current value (steps, percentages):
// one get transaction, then one set transaction of the value the change
// makes of it, printing {"ok":B,"value":V}, or {"ok":false,"value":null}
// with nothing written when the read fails or the display is unknown; over
// several displays, an entry of that form for each.
int commandSetFromCurrent(Session* session, const char* selector, uint8_t vcp,
                          const SettingChange& change);

// The exit status of a command whose document reports a failure when
// `failed` (over several displays: when any entry does): 1 with --fail,
// otherwise 0 (the document says it).
inline constexpr int kStatusDocumentFailed = 1;
int documentStatus(const Session& session, bool failed);
