// The MCCS features that have names on the command line, and the named values
// of the few features whose values are choices rather than levels. This one
// table feeds the argument parser, the decoded capabilities, the help text,
// the manual page and the shell completion.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct NamedValue {
    std::string_view name;
    uint16_t value;
};

struct FeatureName {
    std::string_view name;  // lower case, words joined by '-'
    uint8_t code;
    std::string_view description;        // a few words, for the help text and the manual
    std::span<const NamedValue> values;  // empty for levels such as brightness
};

// Every named feature, in ascending code order.
std::span<const FeatureName> featureNames();

// The feature whose name is exactly `name` (case-sensitive), or null.
const FeatureName* featureByName(std::string_view name);

// The named feature with this code, or null.
const FeatureName* featureByCode(uint8_t code);

// The value that `name` stands for with this code, when the code has named
// values and one is called exactly `name`.
std::optional<uint16_t> namedValue(uint8_t code, std::string_view name);
