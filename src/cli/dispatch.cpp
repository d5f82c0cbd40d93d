#include "cli/dispatch.h"

#include <array>
#include <cstring>

#include "cli/batch.h"
#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/config_load.h"
#include "cli/diagnostics.h"
#include "cli/display_lookup.h"
#include "cli/options.h"
#include "cli/suggest.h"
#include "ddc/change_journal.h"

namespace {

// What a command needs of the display table.
enum class Displays {
    none,     // runs without it
    latest,   // the latest discovery's
    current,  // as they are now: a batch discovers again before it
};

// How each command of the command table runs, in the table's order.
struct CommandRun {
    std::string_view word;
    Displays displays;
    bool printsText;  // for people, several lines: not an answer a batch can give
    bool streams;     // lines until stopped: not an answer a batch can give either
    int (*run)(Session* session, CommandWords words);
};

// watch discovers by itself, once its notifications are armed; batch is
// run by panoctl_main before any of these.
constexpr std::array<CommandRun, kCommandTable.size()> kRuns{{
    {"list", Displays::current, false, false, commandList},
    {"get", Displays::latest, false, false, commandGet},
    {"set", Displays::latest, false, false, commandSet},
    {"capabilities", Displays::latest, false, false, commandCapabilities},
    {"features", Displays::latest, false, false, commandFeatures},
    {"save", Displays::latest, false, false, commandSave},
    {"restore", Displays::latest, false, false, commandRestore},
    {"probeaddr", Displays::latest, false, false, commandProbeaddr},
    {"watch", Displays::none, false, true, commandWatch},
    {"batch", Displays::none, false, false, nullptr},
    {"config", Displays::none, false, false, commandConfig},
    {"help", Displays::none, true, false, commandHelp},
    {"version", Displays::none, true, false, commandVersion},
}};

constexpr bool runsFollowTheTable()
{
    for (size_t i = 0; i < kRuns.size(); i++) {
        if (kRuns[i].word != kCommandTable[i].word) {
            return false;
        }
    }
    return true;
}
static_assert(runsFollowTheTable(), "each command of the table runs through its own row");

// The command the words select, when its word is known and the words are
// as many as it takes.
const CommandRun* findCommand(CommandWords words)
{
    if (words.empty()) {
        return nullptr;
    }
    for (size_t i = 0; i < kRuns.size(); i++) {
        const CommandInfo& info = kCommandTable[i];
        if (info.word == words[0] && words.size() >= info.minimumWords &&
            words.size() <= info.maximumWords) {
            return &kRuns[i];
        }
    }
    return nullptr;
}

// Refuses words that select no command, saying why: no word at all, an
// unknown word (with the word probably meant), too few words or one too
// many.
void refuseWords(Session* session, CommandWords words)
{
    Refusals* refusals = &session->refusals;
    if (words.empty()) {
        std::array<char, 256> line;
        refuseCommandLine(refusals, "%s", usageLine(line));
        return;
    }
    const CommandInfo* info = commandInfo(words[0]);
    if (info == nullptr) {
        NearestName nearest = startNearest(words[0]);
        for (const CommandInfo& row : kCommandTable) {
            considerName(&nearest, row.word);
        }
        std::string_view meant = likelyMeant(nearest);
        if (!meant.empty()) {
            refuseCommandLine(refusals, "panoctl: unknown command: %s (did you mean %.*s?)",
                              words[0], static_cast<int>(meant.size()), meant.data());
        } else {
            refuseCommandLine(refusals, "panoctl: unknown command: %s (panoctl help lists them)",
                              words[0]);
        }
    } else if (words.size() < info->minimumWords) {
        refuseCommandLine(refusals, "panoctl: %.*s needs %.*s", static_cast<int>(info->word.size()),
                          info->word.data(), static_cast<int>(info->needs.size()),
                          info->needs.data());
    } else {
        refuseUnexpectedWord(refusals, words[info->maximumWords]);
    }
}

}  // namespace

const char* usageLine(std::array<char, 256>& line)
{
    size_t used = 0;
    auto append = [&](std::string_view text) {
        size_t room = line.size() - 1 - used;
        size_t length = text.size() < room ? text.size() : room;
        text.copy(line.data() + used, length);
        used += length;
    };
    append("usage: panoctl [options] <");
    for (size_t i = 0; i < kCommandTable.size(); i++) {
        append(i == 0 ? "" : "|");
        append(kCommandTable[i].word);
    }
    append("> ... (panoctl help says more)");
    line[used] = '\0';
    return line.data();
}

void refuseUnexpectedWord(Refusals* refusals, const char* word)
{
    refuseCommandLine(refusals, "panoctl: unexpected word: %s", word);
}

bool commandLineNeedsDisplays(std::span<char* const> words)
{
    if (words.empty()) {
        return false;
    }
    // A known word with the wrong number of words is refused as its command
    // would be: a command that needs no displays discovers none first.
    for (const CommandRun& row : kRuns) {
        if (row.word == words[0]) {
            return row.displays != Displays::none;
        }
    }
    return true;
}

bool commandLineRediscovers(std::span<char* const> words)
{
    const CommandRun* row = findCommand(words);
    return row != nullptr && row->displays == Displays::current;
}

bool commandLineReachesMonitors(std::span<char* const> words)
{
    const CommandRun* row = findCommand(words);
    return row != nullptr && row->displays == Displays::latest;
}

bool commandLinePrintsText(std::span<char* const> words)
{
    const CommandRun* row = findCommand(words);
    return row != nullptr && row->printsText;
}

bool commandLineStreams(std::span<char* const> words)
{
    const CommandRun* row = findCommand(words);
    return row != nullptr && row->streams;
}

int documentStatus(const Session& session, bool failed)
{
    return failed && session.options.fail ? kStatusDocumentFailed : 0;
}

int runCommandLine(Session* session, std::span<char* const> words)
{
    const CommandRun* row = findCommand(words);
    if (row == nullptr || row->run == nullptr) {
        refuseWords(session, words);
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
    ArgumentWords arguments;
    if (readOptions(words, &options, &arguments, &quiet) && !options.help && !options.version &&
        commandLineStreams(arguments.span())) {
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
    session->hold = hold;
    RunOptions options;
    ArgumentWords arguments;
    if (!readOptions(words, &options, &arguments, &session->refusals)) {
        return kStatusUsage;
    }
    session->options = options;
    words = arguments.span();
    if (options.help) {
        return commandHelp(session, {});
    }
    if (options.version) {
        return commandVersion(session, {});
    }
    // Every command but help and version (which read nothing of it) runs
    // with the configuration, and none with a file it refuses.
    if (!commandLinePrintsText(words) && !loadSessionConfig(session)) {
        return kStatusUsage;
    }
    if (options.valuesText != nullptr &&
        !parseWatchedFeatures(&session->refusals, session->config, options.valuesText,
                              &session->options.values)) {
        return kStatusUsage;
    }
    if (isBatchWord(words)) {
        if (words.size() > 1) {
            refuseUnexpectedWord(&session->refusals, words[1]);
            return kStatusUsage;
        }
        session->discovered = true;  // the counters then cover every line
        return runBatch(session, options, hold);
    }
    if (commandLineNeedsDisplays(words)) {
        discoverDisplays(session);
        session->discovered = true;
    }
    return runCommandLine(session, words);
}

void publishDisplayChanges(Session* session)
{
    for (const DisplayRecord& display : session->displays.displays()) {
        publishChanges(sessionLink(session, display));
    }
    // A journal that had to be made anew says so now.
    showLockWarnings(session);
}

void reportRunCounters(const Session& session)
{
    showTransferCounters(session);
}
