// Command-line arguments that name a VCP code or a value: numbers, or the
// names of the feature table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "cli/usage.h"
#include "config/configuration.h"
#include "ops/setting_change.h"

inline constexpr long kMaxVcpCode = 0xFF;
inline constexpr long kMaxVcpValue = 0xFFFF;
inline constexpr long kMaxPercent = 100;

// `text` as a number from `min` to `max`: decimal, or hexadecimal with 0x,
// with nothing before or after it (no sign, no white space). A leading zero
// followed by more digits is refused rather than read as octal, which
// nobody adjusting a monitor means. Otherwise refuses the command line
// ("invalid number: <text>", or "out of range: <label> <text> (<min> to
// <max>)"; `label` may be null) and returns nothing.
std::optional<long> parseNumberArgument(Refusals* refusals, const char* text, long min, long max,
                                        const char* label);

// A VCP code: a feature name from the configuration's own features or the
// table, in any letter case, or a number from 0 to 255. Refuses the command
// line otherwise, suggesting the name meant when the word is close to one.
std::optional<uint8_t> parseFeatureArgument(Refusals* refusals, const Configuration& config,
                                            const char* text);

// A value for `code`: one of that code's named values (those the
// configuration gives it first, then the table's), in any letter case, or a
// number from 0 to 65535. Refuses the command line otherwise.
std::optional<uint16_t> parseValueArgument(Refusals* refusals, const Configuration& config,
                                           uint8_t code, const char* text);

// `set`'s value words, from the value position on (at least one word): a
// value or a named value; `P%`, P from 0 to 100; `+N`, `-N`, `+P%` or `-P%`
// as one word; or `+` or `-` followed by N or P% (two words). Steps and
// percentages are refused for codes that are not levels. Refuses the
// command line otherwise.
std::optional<SettingChange> parseSettingChange(Refusals* refusals, const Configuration& config,
                                                uint8_t code, std::span<char* const> words);
