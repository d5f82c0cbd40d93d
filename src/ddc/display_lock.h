// One DDC/CI transaction at a time per display, across processes. Each
// display has a lock file in a folder private to the user; a transaction
// holds an exclusive flock on it from its first pause to its last transfer,
// so other runs' transfers on that display cannot fall between its request
// and its reply. The system drops the lock of a process that dies.
//
// When the lock cannot be had (an unusable folder, something planted in
// it), the run goes on without it and says so once per display on standard
// error: "panoctl: cannot lock display <id>: <reason>".
#pragma once

#include <cstdint>

#include "discovery/display_table.h"

// Holds the display's lock for its lifetime (or until release()). Guards
// nest: an inner guard on a display already held by this process adds
// nothing. A record that is not in the display table is not locked.
class DisplayLockGuard {
public:
    explicit DisplayLockGuard(const DisplayRecord& display);
    ~DisplayLockGuard();
    DisplayLockGuard(const DisplayLockGuard&) = delete;
    DisplayLockGuard& operator=(const DisplayLockGuard&) = delete;

    // Unlocks before the end of the scope; the destructor then does nothing.
    void release();

private:
    int32_t slot_ = -1;  // index of the held display in the table, or -1
};

// Closes the lock files and the lock folder kept open for the display
// table. Call it whenever the table is emptied; the next transaction opens
// them afresh.
void releaseDisplayLocks();
