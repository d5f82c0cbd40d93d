// How panoctl reads an argument list, for the test harness and
// the fuzz targets: the command word among the options, and whether the run
// prints text for people (help, version) rather than a document. Only for a
// run whose options were accepted: reading refused ones again writes the
// refusal to standard error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

struct CommandLineStart {
    std::string command;  // empty when only options were given
    bool printsText = false;
};

inline std::optional<CommandLineStart> readCommandLineStart(const std::vector<std::string>& args)
{
    std::vector<std::string> copies = args;
    std::vector<char*> words;
    words.reserve(copies.size());
    for (std::string& word : copies) {
        words.push_back(word.data());
    }
    RunOptions options;
    Refusals refusals;
    ArgumentWords arguments;
    if (!readOptions(words, &options, &arguments, &refusals)) {
        return std::nullopt;
    }
    CommandLineStart start;
    if (arguments.count > 0) {
        start.command = arguments.words[0];
    }
    start.printsText =
        options.help || options.version || start.command == "help" || start.command == "version";
    return start;
}
