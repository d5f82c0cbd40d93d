// Options, such as --help, wherever they stand on the command line. Each is
// a row of a table: its spellings, whether it takes a value (the next word,
// or after '=' in the same word), and what it sets in the run's options.
#pragma once

#include <array>
#include <optional>
#include <span>

#include "cli/usage.h"
#include "cli/watch_options.h"

struct RunOptions {
    bool help = false;
    bool version = false;
    int retries = 0;                   // times a failed transaction is made again
    bool verify = false;               // a set reads the value back
    bool fail = false;                 // a document that reports a failure makes the status 1
    bool showMax = false;              // get prints the maximum beside the value
    bool showPercent = false;          // get prints where the value stands in the display's range
    bool oneAtATime = false;           // several displays served in turn, not at once
    bool refresh = false;              // features and save read the capabilities, not the cache
    long count = 0;                    // watch: change events before it ends; 0 for no end
    const char* valuesText = nullptr;  // watch: --values as typed, read with the configuration
    WatchedFeatures values;  // watch: the features whose changes it reports; none for displays only
    int tickMillis = kDefaultTickMillis;  // watch --values: time between looks at the monitors
};

struct OptionRow {
    const char* longName;
    const char* shortName;  // or null
    const char* valueName;  // the value the option takes from the next word, or null
    const char* summary;    // for the help text
    // Applies the option; `value` is null for options without one. False when
    // the value is refused (after refusing the command line).
    bool (*apply)(RunOptions* options, const char* value, Refusals* refusals);
};

// Every option, in the order the help text lists them.
std::span<const OptionRow> optionTable();

// The words of a command line that are no options: the command word and
// its arguments, in their order. Only the first kCapacity are kept; no
// command takes that many, so a longer line is refused for its extra words
// all the same.
struct ArgumentWords {
    static constexpr size_t kCapacity = 16;
    std::array<char*, kCapacity> words{};
    size_t count = 0;

    [[nodiscard]] std::span<char* const> span() const { return std::span(words).first(count); }
};

// Reads `words` (the words after the program name): every word that starts
// with "--", and -h, is an option wherever it stands, until a bare "--",
// after which every word is an argument; the rest go to `arguments`. A
// one-word step such as -5 is an argument. A word that looks like an option
// and is none is refused, as is an option without its value. Returns false
// when the command line was refused; the refusal has been made.
bool readOptions(std::span<char* const> words, RunOptions* options, ArgumentWords* arguments,
                 Refusals* refusals);
