#include "ddc/retry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint32_t kRetryBasePauseMicros = 10000;
constexpr uint32_t kLongestRetryPauseMicros = 80000;

int g_retryLimit = 0;
TransferCounters g_counters;

}  // namespace

void setRetryLimit(int retries)
{
    g_retryLimit = std::clamp(retries, 0, kMaxRetries);
}

int retryLimit()
{
    return g_retryLimit;
}

uint32_t attemptPauseMicros(int attempt)
{
    if (attempt <= 0) {
        return kDdcPauseMicros;
    }
    // 2^4 × 10 ms is already past the longest pause: no shift overflows.
    int doublings = std::min(attempt, 4);
    return std::min(kRetryBasePauseMicros << doublings, kLongestRetryPauseMicros);
}

void countTransfer(Transfer transfer, bool succeeded)
{
    (transfer == Transfer::write ? g_counters.writes : g_counters.reads)++;
    if (!succeeded) {
        g_counters.failed++;
    }
}

void countRetry()
{
    g_counters.retries++;
}

TransferCounters transferCounters()
{
    return g_counters;
}

void resetTransferCounters()
{
    g_counters = TransferCounters{};
}

void printTransferCounters()
{
    if (std::getenv("DDC_DEBUG") == nullptr) {
        return;
    }
    std::fprintf(stderr, "[dbg] writes=%u reads=%u failed=%u retries=%u\n", g_counters.writes,
                 g_counters.reads, g_counters.failed, g_counters.retries);
}
