#include "ops/setting_change.h"

#include <algorithm>

namespace {

// round(percent × span / 100), halves up; both are non-negative.
long percentOf(long percent, int32_t span)
{
    return (percent * span + 50) / 100;
}

}  // namespace

PercentRange percentRange(int32_t maximum, const Calibration* calibration)
{
    if (calibration == nullptr) {
        return PercentRange{0, maximum};
    }
    // A range past what the monitor reports is held to it: 100% is never
    // more than the monitor can take.
    return PercentRange{std::min<int32_t>(calibration->min, maximum),
                        std::min<int32_t>(calibration->max, maximum)};
}

std::optional<int32_t> percentInRange(int32_t current, const PercentRange& range)
{
    int32_t span = range.high - range.low;
    if (span <= 0) {
        return std::nullopt;
    }
    long from = std::clamp<long>(current - range.low, 0L, span);
    return static_cast<int32_t>((from * 100 + span / 2) / span);
}

uint16_t SettingChange::target(int32_t current, int32_t maximum,
                               const Calibration* calibration) const
{
    if (!needsCurrentValue()) {
        return static_cast<uint16_t>(amount);
    }
    long magnitude = amount < 0 ? -amount : amount;
    long low = 0;
    long high = maximum;  // a 16-bit maximum read from the monitor, so never negative
    if (percent) {
        PercentRange range = percentRange(maximum, calibration);
        low = range.low;
        high = range.high;
        magnitude = percentOf(magnitude, range.high - range.low);
    }
    long moved = amount < 0 ? -magnitude : magnitude;
    long base = relative ? current : low;
    return static_cast<uint16_t>(std::clamp(base + moved, low, high));
}
