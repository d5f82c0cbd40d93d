#include "cli/dispatch.h"

#include <array>
#include <cstring>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/diagnostics.h"
#include "cli/display_lookup.h"
#include "cli/options.h"

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
    bool streams;     // lines until stopped: not an answer a batch can give either
    int (*run)(Session* session, CommandWords words);
};

// watch discovers by itself, once its notifications are armed.
constexpr std::array<CommandRow, 11> kCommands{{
    {"list", 1, Displays::current, false, false, commandList},
    {"get", 3, Displays::latest, false, false, commandGet},
    {"set", 4, Displays::latest, false, false, commandSet},
    {"capabilities", 2, Displays::latest, false, false, commandCapabilities},
    {"probeaddr", 2, Displays::latest, false, false, commandProbeaddr},
    {"features", 2, Displays::latest, false, false, commandFeatures},
    {"save", 2, Displays::latest, false, false, commandSave},
    {"restore", 2, Displays::latest, false, false, commandRestore},
    {"watch", 1, Displays::none, false, true, commandWatch},
    {"help", 1, Displays::none, true, false, commandHelp},
    {"version", 1, Displays::none, true, false, commandVersion},
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

bool commandLineReachesMonitors(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row != nullptr && row->displays == Displays::latest;
}

bool commandLinePrintsText(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row != nullptr && row->printsText;
}

bool commandLineStreams(std::span<char* const> words)
{
    const CommandRow* row = findCommand(words);
    return row != nullptr && row->streams;
}

int documentStatus(const Session& session, bool failed)
{
    return failed && session.options.fail ? kStatusDocumentFailed : 0;
}

int runCommandLine(Session* session, std::span<char* const> words)
{
    if (words.empty()) {
        refuseCommandLine(&session->refusals, "usage: panoctl <list|get|set|capabilities> ...");
        return kStatusUsage;
    }
    const CommandRow* row = findCommand(words);
    if (row == nullptr) {
        refuseCommandLine(&session->refusals, "unknown command or missing args");
        return kStatusUsage;
    }
    int status = row->run(session, words);
    showLockWarnings(session);
    return status;
}

void prepareForCommandLine(int argc, char** argv)
{
    if (argc <= 1) {
        return;
    }
    std::span<char* const> words(argv + 1, static_cast<size_t>(argc - 1));
    // Read quietly: the run reads its options again and refuses them then.
    Refusals quiet;
    captureRefusals(&quiet, true);
    RunOptions options;
    std::optional<size_t> optionWords = readOptions(words, &options, &quiet);
    if (optionWords && !options.help && !options.version &&
        commandLineStreams(words.subspan(*optionWords))) {
        catchWatchStopSignals();
    }
}

int panoctl_main(Session* session, int argc, char** argv, const CommandHold& hold)
{
    std::span<char* const> words;
    if (argc > 1) {
        words = std::span<char* const>(argv + 1, static_cast<size_t>(argc - 1));
    }
    // Only a run that discovered displays reports its transfer counters, so
    // help, version and early refusals keep their one line.
    session->discovered = false;
    session->counters = TransferCounters{};
    RunOptions options;
    std::optional<size_t> optionWords = readOptions(words, &options, &session->refusals);
    if (!optionWords) {
        return kStatusUsage;
    }
    session->options = options;
    if (options.help) {
        return commandHelp(session, words);
    }
    if (options.version) {
        return commandVersion(session, words);
    }
    words = words.subspan(*optionWords);
    if (isBatchWord(words)) {
        session->discovered = true;  // the counters then cover every line
        return runBatch(session, options, hold);
    }
    if (commandLineNeedsDisplays(words)) {
        discoverDisplays(session);
        session->discovered = true;
    }
    return runCommandLine(session, words);
}

void reportRunCounters(const Session& session)
{
    showTransferCounters(session);
}
