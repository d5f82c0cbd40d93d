// The MCCS 2.2a codes, each with a name a person can type, what kind of
// control it is, and the names of the values of those whose values are
// choices rather than levels. This one table feeds the argument parser, the
// decoded capabilities, the help text, the manual page and the shell
// completion. Manufacturer codes (0xE0 to 0xFF) have no row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct NamedValue {
    std::string_view name;  // lower case, words joined by '-'
    uint16_t value;
};

enum class FeatureKind : uint8_t {
    continuous,     // a level from 0 to the monitor's maximum
    nonContinuous,  // one of a set of values, each meaning something of its own
    table,          // more than one value at a time
    action,         // write-only: setting it makes the monitor do something once
};

struct FeatureName {
    std::string_view name;  // lower case, words joined by '-'
    uint8_t code;
    FeatureKind kind;
    std::string_view description;        // a few words, for the help text and the manual
    std::span<const NamedValue> values;  // empty for levels and unnamed choices
};

// Every named feature, in ascending code order.
std::span<const FeatureName> featureNames();

// The feature called `name` in any ASCII letter case, or null.
const FeatureName* featureByName(std::string_view name);

// The named feature with this code, or null.
const FeatureName* featureByCode(uint8_t code);

// The value that `name` (in any ASCII letter case) stands for with this code,
// when the code has a value of that name.
std::optional<uint16_t> namedValue(uint8_t code, std::string_view name);

// The name of `value` of this code, or an empty view when it has none.
std::string_view valueName(uint8_t code, uint16_t value);

// Whether steps and percentages mean something for the code: a level, or a
// code the table does not know (a manufacturer's, which may be one).
bool takesSteps(uint8_t code);

// Whether setting the code triggers an action, which must happen once.
bool isActionCode(uint8_t code);

// Whether `a` and `b` are the same text in any ASCII letter case.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);
