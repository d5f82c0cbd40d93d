// What a transaction on a display needs: the display's AV service, its lock
// and the folder of the lock files, how often it is made again, and where
// its transfers are counted. A command makes one per display it serves, so
// displays served at the same time share nothing but the lock folder.
#pragma once

#include <cstdint>

#include "ddc/display_lock.h"
#include "platform/platform.h"

// What went over the bus.
struct TransferCounters {
    uint32_t writes = 0;   // I2C writes made through ddcWrite
    uint32_t reads = 0;    // I2C reads made through ddcRead
    uint32_t failed = 0;   // those of them that failed
    uint32_t retries = 0;  // retries started

    TransferCounters& operator+=(const TransferCounters& other)
    {
        writes += other.writes;
        reads += other.reads;
        failed += other.failed;
        retries += other.retries;
        return *this;
    }
};

inline constexpr int kMaxRetries = 10;

struct DdcLink {
    AvService service = nullptr;       // null fails every transfer without touching the bus
    const char* displayId = "";        // names the lock files and the lock warning
    DisplayLock* lock = nullptr;       // null: the transactions go unlocked
    LockFolder* lockFolder = nullptr;  // where the lock files are; never null with `lock`
    int retryLimit = 0;                // times a failed transaction is made again, 0 to kMaxRetries
    TransferCounters* counters = nullptr;  // never null
    // A monitor's quirks: the data address its VCP requests carry (0x51,
    // the standard's, unless a model needs another), and its pauses in
    // thousandths of the standard ones (1000 to 5000).
    uint8_t sourceAddress = 0x51;
    uint16_t pausePermille = 1000;
};
