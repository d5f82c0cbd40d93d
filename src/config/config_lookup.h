// Looking things up in a configuration's tables: names in any letter case,
// the display an alias names, and what applies to one display.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "config/configuration.h"
#include "mccs/feature_names.h"

const ConfigDisplay* findAlias(const Configuration& config, std::string_view alias);
const ConfigGroup* findGroup(const Configuration& config, std::string_view name);
const ConfigFeature* findConfigFeature(const Configuration& config, std::string_view name);
const Quirk* findQuirk(const Configuration& config, std::string_view name);
Quirk* findQuirk(Configuration* config, std::string_view name);

// The code of the feature called `name`: one of the file's own, or the
// built-in table's.
std::optional<uint8_t> configFeatureCode(const Configuration& config, std::string_view name);

// The kind of `code`: a file's own feature of that code, or the built-in
// table's; a code neither knows is taken to be a level.
FeatureKind configFeatureKind(const Configuration& config, uint8_t code);

// Whether writing `code` makes the monitor act, so it is sent once: a
// built-in action, or a feature of the file's own of type action.
bool actsOnce(const Configuration& config, uint8_t code);

// The file's own feature with this code for a display called `model`
// (a feature with a model applies to displays of that name only), or null.
const ConfigFeature* configFeatureByCode(const Configuration& config, uint8_t code,
                                         std::string_view model);

// The features of one's own marked restorable, for displays called `model`,
// in ascending code order: those `save` keeps and `restore` writes after
// the built-in ones. A code the built-in table already restores is not
// added again; at most kMaxOwnRestorable.
struct OwnRestorable {
    std::array<uint8_t, kMaxOwnRestorable> codes{};
    std::array<const char*, kMaxOwnRestorable> names{};
    size_t count = 0;
};
OwnRestorable ownRestorable(const Configuration& config, std::string_view model);

// What the configuration knows about one display, found from the display's
// id, serial and name (as list prints them).
struct DisplayKey {
    std::string_view id;
    std::string_view serial;
    std::string_view model;
};

// Whether the alias's table names this display.
bool aliasNames(const ConfigDisplay& alias, const DisplayKey& display);

// The first alias whose table names the display, or null.
const ConfigDisplay* aliasOf(const Configuration& config, const DisplayKey& display);

// The calibrated range of `code` on the display, or null.
const Calibration* calibrationOf(const Configuration& config, const DisplayKey& display,
                                 uint8_t code);

// The quirks that apply to a display: those its alias names, then those
// whose model is the display's name. At most kMaxQuirks.
struct AppliedQuirks {
    std::array<const Quirk*, kMaxQuirks> quirks{};
    size_t count = 0;
};
AppliedQuirks quirksOf(const Configuration& config, const DisplayKey& display);

// Of the display's quirks, the one that remaps or names values of `code`,
// or null.
const Quirk* quirkForFeature(const AppliedQuirks& applied, uint8_t code);
