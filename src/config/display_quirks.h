// What a display's quirks change, found once per display or per feature:
// the code and source address a feature is sent with, the names of its
// values, the display's pause factor, a capabilities string of its own,
// and the codes whose maximum is no bound.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "config/config_lookup.h"
#include "config/configuration.h"
#include "discovery/display_table.h"

// How a feature goes to a display: its code and the data address of its
// requests, and the quirk that changed them (null when none did).
struct FeatureRoute {
    uint8_t code = 0;
    uint8_t sourceAddress = 0x51;
    const Quirk* quirk = nullptr;
};
FeatureRoute routeFeature(const Configuration& config, const DisplayKey& display, uint8_t feature);

// The value `name` stands for with `feature` on the display: a name of a
// quirk of the display's first, then of the file's own features, then of
// the built-in table. Nothing when none has it.
std::optional<uint16_t> valueForDisplay(const Configuration& config, const DisplayKey& display,
                                        uint8_t feature, std::string_view name);

// The display's quirk that gives `feature` a value called `name`, or null.
const Quirk* quirkNamingValue(const Configuration& config, const DisplayKey& display,
                              uint8_t feature, std::string_view name);

// Whether `name` is a value name of `feature` anywhere in the
// configuration or the table: such a word is resolved per display.
bool knownValueName(const Configuration& config, uint8_t feature, std::string_view name);

// The name of `value` of `feature` on the display, by the same order, or
// an empty view.
std::string_view valueNameForDisplay(const Configuration& config, const DisplayKey& display,
                                     uint8_t feature, uint16_t value);

// The largest pause factor of the display's quirks, in thousandths, and the
// quirk that gives it (null: the standard pauses).
struct PauseFactor {
    uint16_t permille = kStandardPausePermille;
    const Quirk* quirk = nullptr;
};
PauseFactor pauseFactorOf(const Configuration& config, const DisplayKey& display);

// The quirk that gives the display a capabilities string of its own, or null.
const Quirk* capabilitiesQuirkOf(const Configuration& config, const DisplayKey& display);

// The quirk that makes `code`'s maximum no bound on the display, or null.
const Quirk* unboundedQuirkOf(const Configuration& config, const DisplayKey& display, uint8_t code);

// Gives each display of the table the pause factor of its quirks.
void applyPauseFactors(const Configuration& config, DisplayTable* table);
