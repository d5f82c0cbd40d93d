// Command-line arguments that name a VCP code or a value: numbers, or the
// names of the feature table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "cli/usage.h"
#include "ops/setting_change.h"

inline constexpr long kMaxVcpCode = 0xFF;
inline constexpr long kMaxVcpValue = 0xFFFF;
inline constexpr long kMaxPercent = 100;

// `text` as a number from 0 to `max`, written in strtol's base-0 syntax
// (decimal, 0x hex, leading-0 octal) with nothing before or after it: no
// sign, no white space. Otherwise refuses the command line with
// "invalid number: <text>" and returns nothing.
std::optional<long> parseNumberArgument(Refusals* refusals, const char* text, long max);

// A VCP code: a feature name from the table (exact, lower case) or a number
// from 0 to 255. Refuses the command line otherwise.
std::optional<uint8_t> parseFeatureArgument(Refusals* refusals, const char* text);

// A value for `code`: one of that code's named values, or a number from 0 to
// 65535. Refuses the command line otherwise.
std::optional<uint16_t> parseValueArgument(Refusals* refusals, uint8_t code, const char* text);

// `set`'s value words, from the value position on (at least one word): a
// value or a named value; `P%`, P from 0 to 100; `+N`, `-N`, `+P%` or `-P%`
// as one word; or `+` or `-` followed by N or P%. Refuses the command line
// otherwise ("invalid number: <word>", naming the sign when it is the last
// word).
std::optional<SettingChange> parseSettingChange(Refusals* refusals, uint8_t code,
                                                std::span<char* const> words);
