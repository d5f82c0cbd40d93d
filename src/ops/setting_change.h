// What a change of a setting asks: a plain value, a step from the current
// value, or a percentage of the monitor's maximum (alone or as a step).
#pragma once

#include <cstdint>
#include <optional>

#include "config/configuration.h"

// The raw values that 0% and 100% stand for on one display: 0 and the
// monitor's maximum, or a calibrated range held within them.
struct PercentRange {
    int32_t low = 0;
    int32_t high = 0;
};

// The range of a feature whose monitor reports `maximum`, calibrated by
// `calibration` when it is not null.
PercentRange percentRange(int32_t maximum, const Calibration* calibration);

// Where `current` stands in the range, 0 to 100, rounded (halves up);
// nothing when the range is empty.
std::optional<int32_t> percentInRange(int32_t current, const PercentRange& range);

struct SettingChange {
    bool relative = false;  // moves the current value instead of replacing it
    bool percent = false;   // `amount` is a percentage of the display's range
    long amount = 0;        // the value, or the step (signed), or the percentage
    // The value to write: a step held between 0 and `maximum`, a percentage
    // or a step by one held within the range (a plain value is returned as
    // it is). Calibration changes percentages only, never raw numbers.
    [[nodiscard]] uint16_t target(int32_t current, int32_t maximum,
                                  const Calibration* calibration = nullptr) const;
    [[nodiscard]] bool needsCurrentValue() const { return relative || percent; }
};
