// What a change of a setting asks: a plain value, a step from the current
// value, or a percentage of the monitor's maximum (alone or as a step).
#pragma once

#include <cstdint>

struct SettingChange {
    bool relative = false;  // moves the current value instead of replacing it
    bool percent = false;   // `amount` is a percentage of the monitor's maximum
    long amount = 0;        // the value, or the step (signed), or the percentage
    // The value to write, held between 0 and `maximum` (a plain value is
    // returned as it is).
    [[nodiscard]] uint16_t target(int32_t current, int32_t maximum) const;
    [[nodiscard]] bool needsCurrentValue() const { return relative || percent; }
};
