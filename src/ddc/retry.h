// How transactions are paced and repeated: the pause between DDC/CI
// operations, the longer pauses of retries, and the counting of transfers
// and retries that DDC_DEBUG shows.
#pragma once

#include <cstdint>

#include "ddc/link.h"

// Monitors need time between DDC/CI operations; commands sent faster are
// dropped or answered with stale replies.
inline constexpr uint32_t kDdcPauseMicros = 10000;

// The pause before each operation in attempt `attempt` of a transaction:
// kDdcPauseMicros in the first (attempt 0); in the k-th retry 10 ms × 2^k,
// at most 80 ms, for a monitor that answers slowly needs more time rather
// than more requests.
uint32_t attemptPauseMicros(int attempt);

// `micros` scaled by the link's pause factor: a slow monitor gets longer
// pauses everywhere its transactions pause.
uint32_t linkPause(const DdcLink& link, uint32_t micros);

enum class Transfer { write, read };

// Called by the transfer wrapper only.
void countTransfer(TransferCounters* counters, Transfer transfer, bool succeeded);

// Runs `attempt(pauseMicros)`, a whole transaction that returns whether it
// succeeded, once and then again up to the link's retry limit while it
// fails, each retry with its longer pause.
template <typename Attempt>
bool withRetries(const DdcLink& link, Attempt&& attempt)
{
    if (attempt(linkPause(link, attemptPauseMicros(0)))) {
        return true;
    }
    for (int retry = 1; retry <= link.retryLimit && retry <= kMaxRetries; retry++) {
        link.counters->retries++;
        if (attempt(linkPause(link, attemptPauseMicros(retry)))) {
            return true;
        }
    }
    return false;
}
