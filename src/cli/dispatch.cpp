#include "cli/dispatch.h"

#include <array>
#include <cstring>

#include "cli/commands.h"
#include "cli/options.h"
#include "ddc/retry.h"
#include "discovery/walk.h"

namespace {

struct CommandRow {
    const char* word;
    size_t minimumWords;  // counting the command word
    bool needsDisplays;
    int (*run)(CommandWords words);
};

constexpr std::array<CommandRow, 8> kCommands{{
    {"list", 1, true, commandList},
    {"get", 3, true, commandGet},
    {"set", 4, true, commandSet},
    {"capabilities", 2, true, commandCapabilities},
    {"probeaddr", 2, true, commandProbeaddr},
    {"features", 2, true, commandFeatures},
    {"help", 1, false, commandHelp},
    {"version", 1, false, commandVersion},
}};

const CommandRow* findCommand(CommandWords words)
{
    for (const CommandRow& row : kCommands) {
        if (std::strcmp(words[0], row.word) == 0 && words.size() >= row.minimumWords) {
            return &row;
        }
    }
    return nullptr;
}

// Whether this run discovered displays: only such a run reports its
// transfer counters, so help, version and early refusals keep their one line.
bool g_discovered = false;

}  // namespace

bool commandLineNeedsDisplays(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row == nullptr || row->needsDisplays;
}

int runCommandLine(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    if (row == nullptr) {
        refuseCommandLine("unknown command or missing args");
        return kStatusUsage;
    }
    return row->run(words);
}

int panoctl_main(int argc, char** argv)
{
    std::span<char* const> words;
    if (argc > 1) {
        words = std::span<char* const>(argv + 1, static_cast<size_t>(argc - 1));
    }
    g_discovered = false;
    resetTransferCounters();
    RunOptions options;
    std::optional<size_t> optionWords = readOptions(words, &options);
    if (!optionWords) {
        return kStatusUsage;
    }
    useRunOptions(options);
    if (options.help) {
        return commandHelp(words);
    }
    if (options.version) {
        return commandVersion(words);
    }
    words = words.subspan(*optionWords);
    if (words.empty()) {
        refuseCommandLine("usage: panoctl <list|get|set|capabilities> ...");
        return kStatusUsage;
    }
    if (commandLineNeedsDisplays(words)) {
        enumerateDisplays();
        g_discovered = true;
    }
    return runCommandLine(words);
}

void reportRunCounters()
{
    if (g_discovered) {
        printTransferCounters();
    }
}
