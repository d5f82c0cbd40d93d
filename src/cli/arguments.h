// Numeric command-line arguments: VCP codes and values.
#pragma once

#include <cstdint>
#include <optional>

inline constexpr long kMaxVcpCode = 0xFF;
inline constexpr long kMaxVcpValue = 0xFFFF;

// `text` as a number from 0 to `max`, written in strtol's base-0 syntax
// (decimal, 0x hex, leading-0 octal) with nothing after it. Otherwise
// writes "invalid number: <text>" to standard error and returns nothing.
std::optional<long> parseNumberArgument(const char* text, long max);
