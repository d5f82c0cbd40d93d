// One DDC/CI transaction at a time per display, across processes. Each
// display has a lock file in a folder private to the user; a transaction
// holds an exclusive flock on it from its first pause to its last transfer,
// so other runs' transfers on that display cannot fall between its request
// and its reply. The system drops the lock of a process that dies.
//
// When the lock cannot be had (an unusable folder, something planted in
// it), the transaction goes on without it and the display's lock keeps a
// warning, "panoctl: cannot lock display <id>: <reason>", for the caller to
// show once per display. A transaction's link carries the display's lock and
// the folder; displays sharing a folder may be locked from different
// threads, each display from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "files/private_folder.h"

enum class LockState : uint8_t { closed, open, unusable };

// Why locking was skipped.
using LockFailure = FileProblem;

// The lock file is held for a transaction. The queue file is held by the one
// process waiting for the lock file, so a process that has just released the
// lock cannot take it again before that waiter. Both stay open until closed,
// so a transaction costs four flock calls.
struct DisplayLockFiles {
    LockState state = LockState::closed;
    int lockFd = -1;
    int queueFd = -1;
    int depth = 0;                     // guards alive on this display in this run
    std::array<char, 40> openedFor{};  // the id the files were opened for
};

// The warning a display's failed locking leaves for the caller to show:
// "panoctl: cannot lock display <id>: <path>: <reason>".
struct LockWarning {
    bool pending = false;
    std::array<char, 1400> text{};
};

// A value the monitor took that the display's journal of changes
// (ddc/change_journal.h) does not tell yet.
struct PendingChange {
    uint8_t code = 0;
    bool maximumKnown = false;
    uint16_t value = 0;
    uint16_t maximum = 0;
};

// One restore writes at most the restorable features; a set, one.
struct PendingChanges {
    std::array<PendingChange, 16> items{};
    size_t count = 0;
    // Kept until the platform's hold is given back (the simulated monitors'
    // state written); otherwise told at once, in the write's own hold of
    // the display's lock.
    bool deferred = false;
};

// What one display holds open for locking, and what went wrong with it and
// with its journal of changes, each said once; and the changes made that
// its journal is yet to tell.
struct DisplayLock {
    DisplayLockFiles files;
    LockWarning warning;
    LockWarning journalWarning;
    bool journalWarned = false;
    PendingChanges changes;
};

// PATH_MAX on macOS; a longer lock folder is refused, not cut.
inline constexpr size_t kLockPathCapacity = 1024;

// The folder of the lock files, opened once for all the displays that share
// it. `guard` serialises opening, using and reopening it.
struct LockFolder {
    std::mutex guard;
    LockState state = LockState::closed;
    int fd = -1;
    std::array<char, kLockPathCapacity> path{};
    LockFailure failure;
};

struct DdcLink;

// Holds the link's display lock for its lifetime (or until release()).
// Guards nest: an inner guard on a display already held by this process
// adds nothing. A link without a lock locks nothing.
class DisplayLockGuard {
public:
    explicit DisplayLockGuard(const DdcLink& link);
    ~DisplayLockGuard();
    DisplayLockGuard(const DisplayLockGuard&) = delete;
    DisplayLockGuard& operator=(const DisplayLockGuard&) = delete;

    // Unlocks before the end of the scope; the destructor then does nothing.
    void release();

private:
    DisplayLockFiles* files_ = nullptr;  // those of the held display, or null
};

// "display-", the id with each byte escaped at most to three, the longest
// suffix (".journal.new") and the NUL.
using DisplayFileName = std::array<char, 8 + 3 * 40 + 12 + 1>;

// A file of the display `id` in the lock folder: "display-", the id as
// escapeForFileName writes it, and `suffix`. False when it does not fit.
bool displayFileName(const char* id, const char* suffix, DisplayFileName* name);

// The lock folder, opened when it was not yet; -1 when it cannot be used
// (a transaction's lock warning says why) or there is none. The descriptor
// stays the folder's: the caller does not close it.
int lockFolderDescriptor(LockFolder* folder);

// Closes a display's lock files, or the folder, leaving them closed; the
// next transaction opens them afresh.
void closeLockFiles(DisplayLockFiles* files);
void closeLockFolder(LockFolder* folder);
