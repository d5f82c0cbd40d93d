// The command words: what each takes and does, in the order help lists
// them. This one table is the source of the dispatcher's word checks, the
// usage line, the help text, the manual page and the shell completion.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

struct CommandInfo {
    std::string_view word;
    std::string_view arguments;  // as help and the manual write them, or empty
    std::string_view summary;    // a few words, for help and the completion
    size_t minimumWords;         // counting the command word
    size_t maximumWords;         // more are refused as unexpected words
    std::string_view needs;      // what is missing below the minimum: "a display"
};

inline constexpr std::array<CommandInfo, 13> kCommandTable{{
    {"list", "", "the displays that can be reached", 1, 1, ""},
    {"get", "<displays> <vcp>", "read a setting's current value", 3, 3, "a display and a feature"},
    // A step's sign may stand alone (+ 5), so set takes up to five words.
    {"set", "<displays> <vcp> <value>", "write a setting, step it with + or -, or set a percentage",
     4, 5, "a display, a feature and a value"},
    {"capabilities", "<display>", "the monitor's capabilities string", 2, 2, "a display"},
    {"features", "<display>", "the capabilities string decoded", 2, 2, "a display"},
    {"save", "<display> [file]", "the restorable settings, as a document", 2, 3, "a display"},
    {"restore", "<display> [file]", "write back a saved document's settings that differ", 2, 3,
     "a display"},
    {"probeaddr", "<display> [vcp]", "which I2C addressing the display answers on", 2, 3,
     "a display"},
    {"watch", "", "a line for each display present, then for each that comes or goes", 1, 1, ""},
    {"batch", "", "answer command lines read on standard input, one line each", 1, 1, ""},
    {"config", "[check]", "the configuration in effect, or whether its file is sound", 1, 2, ""},
    {"help", "[features]", "print this text, or the feature and value names", 1, 2, ""},
    {"version", "", "print the version", 1, 1, ""},
}};

// The row whose word is exactly `word`, or null.
constexpr const CommandInfo* commandInfo(std::string_view word)
{
    for (const CommandInfo& row : kCommandTable) {
        if (row.word == word) {
            return &row;
        }
    }
    return nullptr;
}
