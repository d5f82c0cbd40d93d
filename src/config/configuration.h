// A person's configuration: names for their displays and groups of them,
// each display's calibrated ranges, features of their own and the quirks of
// their models. Read from a file once, at start, into these fixed tables;
// the commands and transactions only look things up in them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mccs/feature_names.h"

inline constexpr size_t kConfigNameCapacity = 32;    // aliases, groups, features, quirks: 31 bytes
inline constexpr size_t kConfigModelCapacity = 128;  // a display's name as list prints it
inline constexpr size_t kConfigIdCapacity = 40;
inline constexpr size_t kConfigSerialCapacity = 24;
inline constexpr size_t kConfigPathCapacity = 1024;
inline constexpr size_t kConfigCapabilitiesCapacity = 1024;

inline constexpr size_t kMaxConfigDisplays = 16;
inline constexpr size_t kMaxConfigGroups = 16;
inline constexpr size_t kMaxGroupMembers = 16;
inline constexpr size_t kMaxCalibrations = 16;
inline constexpr size_t kMaxConfigFeatures = 32;
inline constexpr size_t kMaxConfigValues = 32;
inline constexpr size_t kMaxQuirks = 16;
inline constexpr size_t kMaxDisplayQuirks = 4;
inline constexpr size_t kMaxUnboundedCodes = 8;
inline constexpr size_t kMaxOwnRestorable = 8;  // features of one's own that save keeps

// Pause factors are kept in thousandths: 1000 is the standard pauses.
inline constexpr uint16_t kStandardPausePermille = 1000;
inline constexpr uint16_t kLongestPausePermille = 5000;

using ConfigName = std::array<char, kConfigNameCapacity>;

struct ConfigValue {
    ConfigName name;
    uint16_t value = 0;
};

// The raw range that 0% and 100% of a continuous feature stand for.
struct Calibration {
    uint8_t code = 0;
    uint16_t min = 0;
    uint16_t max = 0;
};

// [display.<alias>]: what names the display, and what belongs to it.
struct ConfigDisplay {
    ConfigName alias{};
    std::array<char, kConfigIdCapacity> id{};          // empty: not given
    std::array<char, kConfigSerialCapacity> serial{};  // empty: not given
    std::array<char, kConfigModelCapacity> model{};    // empty: not given
    std::array<Calibration, kMaxCalibrations> calibrations{};
    size_t calibrationCount = 0;
    std::array<uint8_t, kMaxDisplayQuirks> quirks{};  // indexes into Configuration::quirks
    size_t quirkCount = 0;
};

// [group]: a name for several aliases, in their order.
struct ConfigGroup {
    ConfigName name{};
    std::array<uint8_t, kMaxGroupMembers> members{};  // indexes into Configuration::displays
    size_t memberCount = 0;
};

// [feature.<name>]: a code of the person's own, used by name.
struct ConfigFeature {
    ConfigName name{};
    uint8_t code = 0;
    FeatureKind kind = FeatureKind::continuous;
    std::array<ConfigValue, kMaxConfigValues> values{};
    size_t valueCount = 0;
    std::array<char, kConfigModelCapacity> model{};  // empty: every display
    bool restorable = false;
};

// How a model bends the standard, and what panoctl does about it.
struct Quirk {
    ConfigName name{};
    std::array<char, kConfigModelCapacity> model{};  // empty: only displays that name it
    uint8_t feature = 0;                             // the code the quirk is about
    bool hasFeature = false;
    uint8_t code = 0;           // sent instead of `feature` when `remaps`
    uint8_t sourceAddress = 0;  // the data address such requests carry
    bool remaps = false;
    std::array<ConfigValue, kMaxConfigValues> values{};  // `feature`'s values on this model
    size_t valueCount = 0;
    uint16_t pausePermille = kStandardPausePermille;
    std::array<char, kConfigCapabilitiesCapacity> capabilities{};
    bool replacesCapabilities = false;
    std::array<uint8_t, kMaxUnboundedCodes> unbounded{};  // codes whose maximum is no bound
    size_t unboundedCount = 0;
};

struct Configuration {
    bool fromFile = false;  // false: no file, and everything is as without one
    std::array<char, kConfigPathCapacity> path{};
    std::array<ConfigDisplay, kMaxConfigDisplays> displays{};
    size_t displayCount = 0;
    std::array<ConfigGroup, kMaxConfigGroups> groups{};
    size_t groupCount = 0;
    std::array<ConfigFeature, kMaxConfigFeatures> features{};
    size_t featureCount = 0;
    std::array<Quirk, kMaxQuirks> quirks{};
    size_t quirkCount = 0;
};

// The built-in quirks, which a configuration starts from: a file's
// [quirk.<name>] of the same name extends or overrides one of them.
void addBuiltInQuirks(Configuration* config);
