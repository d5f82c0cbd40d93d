// How transactions are paced and repeated: the pause between DDC/CI
// operations, the run's retry count, the longer pauses of retries, and the
// counters of transfers and retries that DDC_DEBUG shows.
#pragma once

#include <cstdint>

// Monitors need time between DDC/CI operations; commands sent faster are
// dropped or answered with stale replies.
inline constexpr uint32_t kDdcPauseMicros = 10000;

inline constexpr int kMaxRetries = 10;

// The number of times a failed transaction is made again in this run, 0 to
// kMaxRetries (0 by default: one attempt, nothing repeated).
void setRetryLimit(int retries);
int retryLimit();

// The pause before each operation in attempt `attempt` of a transaction:
// kDdcPauseMicros in the first (attempt 0); in the k-th retry 10 ms × 2^k,
// at most 80 ms, for a monitor that answers slowly needs more time rather
// than more requests.
uint32_t attemptPauseMicros(int attempt);

// What went over the bus in this run (or batch).
struct TransferCounters {
    uint32_t writes = 0;   // I2C writes made through ddcWrite
    uint32_t reads = 0;    // I2C reads made through ddcRead
    uint32_t failed = 0;   // those of them that failed
    uint32_t retries = 0;  // retries started
};

enum class Transfer { write, read };

// Called by the transfer wrapper and by withRetries only.
void countTransfer(Transfer transfer, bool succeeded);
void countRetry();

TransferCounters transferCounters();
void resetTransferCounters();

// With DDC_DEBUG set, writes "[dbg] writes=W reads=R failed=F retries=K"
// to standard error. For the end of a run (or batch), after its documents.
void printTransferCounters();

// Runs `attempt(pauseMicros)`, a whole transaction that returns whether it
// succeeded, once and then again up to retryLimit() times while it fails,
// each retry with its longer pause.
template <typename Attempt>
bool withRetries(Attempt&& attempt)
{
    if (attempt(attemptPauseMicros(0))) {
        return true;
    }
    for (int retry = 1; retry <= retryLimit(); retry++) {
        countRetry();
        if (attempt(attemptPauseMicros(retry))) {
            return true;
        }
    }
    return false;
}
