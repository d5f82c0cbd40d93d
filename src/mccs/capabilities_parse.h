// Decoding a monitor's capabilities string, such as
// "(prot(monitor)type(lcd)model(T27Q)cmds(01 02 03)vcp(10 12 60(0F 11))mccs_ver(2.2))".
// Real strings are untidy (missing or doubled spaces, lower-case hex, values
// nested a level deeper, unknown segments, a second vcp segment, codes listed
// twice, no outer parentheses or two pairs, text cut off), so the parser
// takes what it can read and skips the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Two hex digits per code: a capabilities string of up to 2047 bytes holds
// at most this many codes and values in all.
inline constexpr size_t kMaxCapabilityCodes = 1024;

struct CapabilitiesVcpCode {
    uint8_t code;
    bool listsValues;     // the string gave values for this code
    uint16_t firstValue;  // index into Capabilities::values
    uint16_t valueCount;
};

struct Capabilities {
    // The segments' text exactly as given; nothing when absent or cut off.
    std::optional<std::string_view> model;
    std::optional<std::string_view> type;
    std::optional<std::string_view> mccsVersion;
    std::array<uint8_t, kMaxCapabilityCodes> commands;
    size_t commandCount;
    std::array<CapabilitiesVcpCode, kMaxCapabilityCodes> vcp;
    size_t vcpCount;
    std::array<uint8_t, kMaxCapabilityCodes> values;  // every vcp code's values, in order
    size_t valueCount;
    bool truncated;  // codes or values past the capacities were dropped
};

// Reads the top-level segments model, type, mccs_ver, cmds and vcp of
// `text` into `capabilities` (whose views point into `text`); a group with
// no name only wraps segments, which count as top-level at any depth of
// wrapping, and a model written without parentheses after the word model
// counts; other segments are skipped, whatever they hold. A vcp code listed
// twice appears twice, each time with the values given there. Never fails: an empty
// or garbled string gives an empty result.
void parseCapabilities(std::string_view text, Capabilities* capabilities);

// The values listed for one of `capabilities`' vcp codes.
std::span<const uint8_t> vcpValues(const Capabilities& capabilities,
                                   const CapabilitiesVcpCode& code);
