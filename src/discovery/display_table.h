// The displays found by the latest discovery, and the lookup every command
// uses to turn the id or position given on the command line into one of them.
// A table also keeps what its displays hold open for locking (filled and used
// by ddc/display_lock): the per-display lock files live in the record they
// belong to, and the folder they are in with the table.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>

#include "files/private_folder.h"
#include "platform/platform.h"

enum class LockState : uint8_t { closed, open, unusable };

// Why locking was skipped.
using LockFailure = FileProblem;

// The lock file is held for a transaction. The queue file is held by the one
// process waiting for the lock file, so a process that has just released the
// lock cannot take it again before that waiter. Both stay open for the
// table's lifetime, so a transaction costs four flock calls.
struct DisplayLockFiles {
    LockState state = LockState::closed;
    int lockFd = -1;
    int queueFd = -1;
    int depth = 0;                     // guards alive on this display in this run
    std::array<char, 40> openedFor{};  // the id the files were opened for
};

// The warning a display's failed locking leaves for cli/ to show:
// "panoctl: cannot lock display <id>: <path>: <reason>".
struct LockWarning {
    bool pending = false;
    std::array<char, 1400> text{};
};

struct DisplayRecord {
    std::array<char, 40> id;      // EDID UUID text, the key callers use
    std::array<char, 24> serial;  // upper-case hex, or empty
    std::array<char, 128> name;   // UTF-8 product name, or "Display"
    // The IOService path of the display's proxy entry: the same for a
    // display from run to run and different for two displays at once, even
    // identical ones. Empty when the registry gave none.
    std::array<char, 512> registryPath;
    AvService service;  // never null for a record in the table
    DisplayLockFiles lock;
    LockWarning lockWarning;
};

inline constexpr int32_t kMaxDisplays = 16;

// PATH_MAX on macOS; a longer lock folder is refused, not cut.
inline constexpr size_t kLockPathCapacity = 1024;

// The folder of the lock files, opened once for all the table's displays.
// The displays of one command may be served by several threads: `guard`
// serialises opening, using and reopening it.
struct LockFolder {
    std::mutex guard;
    LockState state = LockState::closed;
    int fd = -1;
    std::array<char, kLockPathCapacity> path{};
    LockFailure failure;
};

struct DisplayTable {
    std::array<DisplayRecord, kMaxDisplays> records{};
    int32_t count = 0;
    LockFolder lockFolder;

    std::span<DisplayRecord> displays() { return std::span(records).first(count); }
    std::span<const DisplayRecord> displays() const { return std::span(records).first(count); }
};

// Empties the table and gives back everything its records hold (each AV
// service handle, the lock files and their folder). The one place the table
// is reset: discovery calls it before walking again, and a run calls it
// before it ends.
void releaseDisplays(DisplayTable* table);

// Closes a display's lock files, or the folder, leaving them closed.
void closeLockFiles(DisplayLockFiles* files);
void closeLockFolder(LockFolder* folder);

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
