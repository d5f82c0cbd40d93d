// The features a saved document may carry back to a monitor: settings that
// hold a value, never codes that act (degauss, factory resets, save
// settings) nor those that change what is shown (input, power). This one
// table feeds `save`, `restore`, the help text and the manual page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct RestorableFeature {
    uint8_t code;
    std::string_view description;  // a few words, for the help text and the manual
};

// Every restorable feature, in restore order: presets first, since a monitor
// that switches preset loads the levels that belong to it, then the levels.
std::span<const RestorableFeature> restorableFeatures();

inline constexpr size_t kRestorableCount = 13;

// The restorable features in ascending code order, as documents list them.
std::span<const RestorableFeature> restorableByCode();

// The feature's place in restore order, or nothing when `code` is not
// restorable.
std::optional<size_t> restoreIndex(uint8_t code);
