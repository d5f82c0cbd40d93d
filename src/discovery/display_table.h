// The displays found by the latest discovery, and the lookup every command
// uses to turn the id or position given on the command line into one of them.
// A table also keeps what its displays hold open for locking: the
// per-display lock files live in the record they belong to, and the folder
// they are in with the table; a transaction's link points at both.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "ddc/display_lock.h"
#include "ddc/link.h"
#include "platform/platform.h"

struct DisplayRecord {
    std::array<char, 40> id;      // EDID UUID text, the key callers use
    std::array<char, 24> serial;  // upper-case hex, or empty
    std::array<char, 128> name;   // UTF-8 product name, or "Display"
    // The IOService path of the display's proxy entry: the same for a
    // display from run to run and different for two displays at once, even
    // identical ones. Empty when the registry gave none.
    std::array<char, 512> registryPath;
    AvService service;  // never null for a record in the table
    // Its pauses in thousandths of the standard ones: a configuration's
    // quirk may make them longer for a slow model.
    uint16_t pausePermille = 1000;
    DisplayLock lock;  // its lock files and the warning they left
};

inline constexpr int32_t kMaxDisplays = 16;

struct DisplayTable {
    std::array<DisplayRecord, kMaxDisplays> records{};
    int32_t count = 0;
    LockFolder lockFolder;  // the folder of all its displays' lock files

    std::span<DisplayRecord> displays() { return std::span(records).first(count); }
    std::span<const DisplayRecord> displays() const { return std::span(records).first(count); }
};

// Empties the table and gives back everything its records hold (each AV
// service handle, the lock files and their folder). The one place the table
// is reset: discovery calls it before walking again, and a run calls it
// before it ends.
void releaseDisplays(DisplayTable* table);

// Closes the lock files and the lock folder kept open for the table's
// displays; the next transaction opens them afresh.
void releaseDisplayLocks(DisplayTable* table);

// The link a transaction on `display` goes through: its service, and its
// lock when it is a record of the table (a copy is not locked).
DdcLink displayLink(DisplayTable* table, const DisplayRecord& display, int retryLimit,
                    TransferCounters* counters);

// First record whose id equals `id` exactly, or null.
const DisplayRecord* find_by_id(const DisplayTable& table, const char* id);

// The display a command-line selector names: the first record whose id
// equals `selector`, else the first whose id equals it with ASCII letter case
// ignored, else the record at that position in the table, written in decimal
// from 1 without sign or leading zero. Null when none finds one.
const DisplayRecord* findDisplay(const DisplayTable& table, const char* selector);

// The position of `display` in the table, from 1, or 0 when it is no record
// of the table (a copy, say).
int32_t displayPositionOf(const DisplayTable& table, const DisplayRecord& display);

// Copies NUL-terminated text into a fixed field, cut to fit and always
// terminated.
void copyText(std::span<char> field, const char* text);
