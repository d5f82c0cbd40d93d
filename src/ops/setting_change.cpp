#include "ops/setting_change.h"

#include <algorithm>

namespace {

// round(percent × maximum / 100), halves up; both are non-negative.
long percentOf(long percent, int32_t maximum)
{
    return (percent * maximum + 50) / 100;
}

}  // namespace

uint16_t SettingChange::target(int32_t current, int32_t maximum) const
{
    if (!needsCurrentValue()) {
        return static_cast<uint16_t>(amount);
    }
    long magnitude = percent ? percentOf(amount < 0 ? -amount : amount, maximum)
                             : (amount < 0 ? -amount : amount);
    long moved = amount < 0 ? -magnitude : magnitude;
    long base = relative ? current : 0;
    // A 16-bit maximum read from the monitor, so never negative.
    return static_cast<uint16_t>(std::clamp(base + moved, 0L, static_cast<long>(maximum)));
}
