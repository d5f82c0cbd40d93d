// The options of a watch that reports values: the features it watches
// (--values) and how often it looks at the monitors (--every).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cli/usage.h"
#include "config/configuration.h"

// Every code could be watched, each once.
struct WatchedFeatures {
    std::array<uint8_t, 256> codes{};
    size_t count = 0;
};

inline constexpr int kDefaultTickMillis = 2000;
inline constexpr int kShortestTickMillis = 500;
inline constexpr int kLongestTickMillis = 3600 * 1000;

// `text`: feature names or codes separated by commas, in any order, or the
// word `restorable` for the features save and restore carry. Each is added
// once; the configuration's features of one's own are names too. Refuses the command line, as any
// unknown name is, and returns false.
bool parseWatchedFeatures(Refusals* refusals, const Configuration& config, const char* text,
                          WatchedFeatures* features);

// `text`: seconds from 0.5 to 3600, with up to three decimals. Refuses the
// command line otherwise and returns nothing.
bool parseTickSeconds(Refusals* refusals, const char* text, int* millis);
