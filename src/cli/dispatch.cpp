#include "cli/dispatch.h"

#include <array>
#include <cstring>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "ddc/retry.h"
#include "discovery/walk.h"

namespace {

// What a command needs of the display table.
enum class Displays {
    none,     // runs without it
    latest,   // the latest discovery's
    current,  // as they are now: a batch discovers again before it
};

struct CommandRow {
    const char* word;
    size_t minimumWords;  // counting the command word
    Displays displays;
    bool printsText;  // for people, several lines: not an answer a batch can give
    int (*run)(CommandWords words);
};

constexpr std::array<CommandRow, 10> kCommands{{
    {"list", 1, Displays::current, false, commandList},
    {"get", 3, Displays::latest, false, commandGet},
    {"set", 4, Displays::latest, false, commandSet},
    {"capabilities", 2, Displays::latest, false, commandCapabilities},
    {"probeaddr", 2, Displays::latest, false, commandProbeaddr},
    {"features", 2, Displays::latest, false, commandFeatures},
    {"save", 2, Displays::latest, false, commandSave},
    {"restore", 2, Displays::latest, false, commandRestore},
    {"help", 1, Displays::none, true, commandHelp},
    {"version", 1, Displays::none, true, commandVersion},
}};

const CommandRow* findCommand(CommandWords words)
{
    if (words.empty()) {
        return nullptr;
    }
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
    return !words.empty() && (row == nullptr || row->displays != Displays::none);
}

bool commandLineRediscovers(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row != nullptr && row->displays == Displays::current;
}

bool commandLinePrintsText(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row != nullptr && row->printsText;
}

int runCommandLine(std::span<char* const> words)
{
    if (words.empty()) {
        refuseCommandLine("usage: panoctl <list|get|set|capabilities> ...");
        return kStatusUsage;
    }
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
    if (isBatchWord(words)) {
        g_discovered = true;  // the counters then cover every line
        return runBatch(options);
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
