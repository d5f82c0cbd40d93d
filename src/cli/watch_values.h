// `watch --values`: a line for each change of the watched features' values,
// on every display the watch sees. Changes that panoctl made, in any
// process, come from the displays' journals of changes, word of which comes
// from the file events of the lock folder: no transfer on the bus. Changes
// made on the monitor come from a look at each display once a tick: its New
// Control Value (0x02) where the monitor keeps it faithfully, otherwise one
// watched feature per tick, in turn. A display whose power mode (0xD6)
// says it sleeps is left alone but for one look at 0xD6 a minute.
#pragma once

#include <array>
#include <cstdint>

#include "cli/session.h"
#include "discovery/display_diff.h"
#include "discovery/registry_watch.h"
#include "files/file_events.h"

// How a display's own changes are found.
enum class ChangeReports : uint8_t {
    trusted,  // 0x02 and 0x52 are read
    polled,   // the watched features are read in turn
};

struct WatchedValue {
    bool known = false;  // read, or taken from a journal entry
    bool maximumKnown = false;
    bool unsupported = false;  // the monitor says it has no such code: never reported
    uint16_t value = 0;
    uint16_t maximum = 0;
    uint32_t journalSequence = 0;  // of the last journal entry taken
};

struct DisplayValues {
    std::array<WatchedValue, 256> codes{};
    bool started = false;  // its values were read once: the initial lines are out
    bool asleep = false;
    bool hasPower = false;  // its capabilities list 0xD6: looked at before any other read
    ChangeReports reports = ChangeReports::polled;
    size_t nextPolled = 0;  // the watched feature the next poll reads
    uint32_t ticks = 0;     // looks made
    int64_t nextPowerLook = 0;
    int journalFd = -1;          // kept open, so that kqueue tells its writes
    uint64_t journalDevice = 0;  // the journal file last read
    uint64_t journalInode = 0;
};

struct ValueWatch {
    std::array<DisplayValues, kMaxDisplays> displays{};
    FileEvents events;
    bool eventsStarted = false;
    long changes = 0;  // lines written since the start, added, removed and changed alike
};

struct WatchProgress;

// The displays' values at the watch's start (after the added lines): one
// `"source":"initial"` line per watched value read. Returns the status
// finishOutput gives.
int startValues(Session* session, ValueWatch* values);

// The displays changed: the values of those removed are forgotten and those
// added start afresh, as `changes` moved the table.
void followDisplayChanges(ValueWatch* values, const DisplayChanges& changes);

// The initial lines of the display at `index` of the table, just added.
int startDisplayValues(Session* session, ValueWatch* values, size_t index);

// Until the watch is stopped or ends: waits for journal entries, the tick
// and the registry's notifications, and writes the lines they make.
int watchValues(Session* session, RegistryWatch* watch, ValueWatch* values,
                WatchProgress* progress);

// Closes what the watch holds open.
void stopValues(ValueWatch* values);
