// One DDC/CI transaction at a time per display, across processes. Each
// display has a lock file in a folder private to the user; a transaction
// holds an exclusive flock on it from its first pause to its last transfer,
// so other runs' transfers on that display cannot fall between its request
// and its reply. The system drops the lock of a process that dies.
//
// When the lock cannot be had (an unusable folder, something planted in
// it), the transaction goes on without it and the display's record keeps a
// warning, "panoctl: cannot lock display <id>: <reason>", for the caller to
// show once per display. The lock files live in the display's record and
// their folder in its table; displays of one table may be locked from
// different threads, each display from one thread at a time.
#pragma once

#include <cstdint>

#include "discovery/display_table.h"

// Holds the display's lock for its lifetime (or until release()). Guards
// nest: an inner guard on a display already held by this process adds
// nothing. A record that is not in `table` is not locked.
class DisplayLockGuard {
public:
    DisplayLockGuard(DisplayTable* table, const DisplayRecord& display);
    ~DisplayLockGuard();
    DisplayLockGuard(const DisplayLockGuard&) = delete;
    DisplayLockGuard& operator=(const DisplayLockGuard&) = delete;

    // Unlocks before the end of the scope; the destructor then does nothing.
    void release();

private:
    DisplayLockFiles* files_ = nullptr;  // those of the held display, or null
};

// Closes the lock files and the lock folder kept open for the display
// table; the next transaction opens them afresh.
void releaseDisplayLocks(DisplayTable* table);
