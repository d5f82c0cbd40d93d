#include "ddc/retry.h"

#include <algorithm>

namespace {

constexpr uint32_t kRetryBasePauseMicros = 10000;
constexpr uint32_t kLongestRetryPauseMicros = 80000;

}  // namespace

uint32_t attemptPauseMicros(int attempt)
{
    if (attempt <= 0) {
        return kDdcPauseMicros;
    }
    // 2^4 × 10 ms is already past the longest pause: no shift overflows.
    int doublings = std::min(attempt, 4);
    return std::min(kRetryBasePauseMicros << doublings, kLongestRetryPauseMicros);
}

uint32_t linkPause(const DdcLink& link, uint32_t micros)
{
    // At most 80 ms × 5: no overflow in 64 bits, nor in the result.
    return static_cast<uint32_t>(uint64_t{micros} * link.pausePermille / 1000);
}

void countTransfer(TransferCounters* counters, Transfer transfer, bool succeeded)
{
    (transfer == Transfer::write ? counters->writes : counters->reads)++;
    if (!succeeded) {
        counters->failed++;
    }
}
