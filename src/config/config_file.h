// Reading the configuration file: where it is, whether it may be read, and
// its TOML text into the fixed tables. Everything here runs once, at start,
// and may allocate; nothing of the file is kept but the tables.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "config/configuration.h"

// Why a file was refused: where in it (line and column from 1; 0 when the
// fault is the file's, not a place in it) and what.
struct ConfigError {
    uint32_t line = 0;
    uint32_t column = 0;
    std::array<char, 256> what{};
};

enum class ConfigLoad {
    none,     // no file at the path: the built-in behaviour, exactly
    loaded,   // the file's tables are in the configuration
    refused,  // the error says why; the configuration is not to be used
};

// Reads the file at `path` (null or empty: none) into `config`, which it
// empties first. A file that is not a regular file, that others may write,
// that is larger than 1 MiB or that does not follow the configuration's
// keys is refused.
// `reservedWords` are the words an alias or group may not be, in any
// letter case, besides `all` and positions: the caller's command words.
ConfigLoad loadConfigFile(const char* path, std::span<const std::string_view> reservedWords,
                          Configuration* config, ConfigError* error);

// The TOML text of a configuration into `config` (emptied first, then
// given the built-in quirks); false, with the error's place and reason,
// for text that is not TOML or that breaks one of the rules of the keys.
bool parseConfigText(std::string_view text, std::span<const std::string_view> reservedWords,
                     Configuration* config, ConfigError* error);
