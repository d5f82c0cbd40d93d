// Options given before the command word, such as --help. Each is a row of a
// table: its spellings, whether it takes the next word as its value, and
// what it sets in the run's options.
#pragma once

#include <optional>
#include <span>

#include "cli/usage.h"

struct RunOptions {
    bool help = false;
    bool version = false;
    int retries = 0;          // times a failed transaction is made again
    bool verify = false;      // a set reads the value back
    bool fail = false;        // a document that reports a failure makes the status 1
    bool showMax = false;     // get prints the maximum beside the value
    bool oneAtATime = false;  // several displays served in turn, not at once
    bool refresh = false;     // features and save read the capabilities, not the cache
    long count = 0;           // watch: change events before it ends; 0 for no end
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

// Reads the options at the start of `words` (the words after the program
// name) into `options` and returns how many words they took; refusals go to
// `refusals`. Reading stops
// at the first word that is not an option: that word is the command word.
// A word that starts with "--" and is no option is refused, as is an option
// without its value. Returns nothing when the command line was refused; the
// refusal has been written.
std::optional<size_t> readOptions(std::span<char* const> words, RunOptions* options,
                                  Refusals* refusals);
