#include "cli/batch.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/commands.h"
#include "cli/dispatch.h"
#include "cli/display_lookup.h"
#include "cli/json_escape.h"
#include "cli/line_reader.h"
#include "cli/line_words.h"
#include "cli/output.h"
#include "cli/usage.h"
#include "discovery/walk.h"

namespace {

using LineWords = std::array<char*, kMaxLineWords + 1>;

constexpr const char* kBatchWord = "batch";

// The answer to a refused line: a document in place of the text a one-shot
// run would have written to standard error.
void answerRefusal(const char* text)
{
    static std::array<char, escapedCapacity(kRefusalCapacity)> escaped;
    json_escape(text, escaped.data(), escaped.size());
    std::printf("{\"error\":\"usage\",\"message\":\"%s\"}\n", escaped.data());
}

CommandHold g_hold;

// Runs one command that reaches a monitor inside the command hold.
LineOutcome runHeld(std::span<char* const> words)
{
    if (g_hold.take != nullptr && !g_hold.take()) {
        return LineOutcome::stopped;
    }
    int status = runCommandLine(words);
    if (g_hold.give != nullptr && !g_hold.give()) {
        return LineOutcome::stopped;
    }
    return status == 0 ? LineOutcome::answered : LineOutcome::failed;
}

// Runs the words as a one-shot run would after its options: the line's own
// options are read on top of the batch's, and a refusal is kept, not written.
LineOutcome runLineWords(std::span<char* const> words, const RunOptions& batchOptions)
{
    RunOptions options = batchOptions;
    LineOutcome outcome = LineOutcome::answered;
    std::optional<size_t> optionWords = readOptions(words, &options);
    if (optionWords) {
        useRunOptions(options);
        words = words.subspan(*optionWords);
        if (options.help || options.version || commandLinePrintsText(words)) {
            // Text for people takes several lines, and a caller waits for one.
            refuseCommandLine("help and version are not available in batch");
        } else if (isBatchWord(words)) {
            refuseCommandLine("batch cannot run inside batch");
        } else {
            if (commandLineRediscovers(words)) {
                enumerateDisplays();
            }
            outcome =
                commandLineReachesMonitors(words)
                    ? runHeld(words)
                    : (runCommandLine(words) == 0 ? LineOutcome::answered : LineOutcome::failed);
        }
    }
    if (const char* refusal = takeCapturedRefusal()) {
        answerRefusal(refusal);
        outcome = LineOutcome::failed;
    }
    // Without --fail a failure is the document's to tell, as in a one-shot run.
    if (outcome == LineOutcome::failed && !options.fail) {
        outcome = LineOutcome::answered;
    }
    return outcome;
}

}  // namespace

bool isBatchWord(std::span<char* const> words)
{
    return !words.empty() && std::strcmp(words[0], kBatchWord) == 0;
}

void beginBatch()
{
    captureRefusals(true);
    rediscoverWhenSelectorMisses(true);
    enumerateDisplays();
}

void endBatch()
{
    captureRefusals(false);
    rediscoverWhenSelectorMisses(false);
}

void setCommandHold(CommandHold hold)
{
    g_hold = hold;
}

LineOutcome answerBatchLine(char* line, size_t length, const RunOptions& options)
{
    LineOutcome refused = options.fail ? LineOutcome::failed : LineOutcome::answered;
    // A word cut at a NUL would be run as another word than the one sent.
    if (std::memchr(line, '\0', length) != nullptr) {
        answerRefusal("line holds a NUL byte");
        return refused;
    }
    line[length] = '\0';
    LineWords words;
    size_t count = splitWords(line, words);
    if (count == 0) {
        return LineOutcome::unanswered;
    }
    if (count > kMaxLineWords) {
        answerRefusal("too many words");
        return refused;
    }
    takeCapturedRefusal();
    return runLineWords(std::span<char* const>(words.data(), count), options);
}

int runBatch(const RunOptions& options)
{
    // The hold the run took at start-up would keep every other run out for
    // the batch's whole life; each line takes its own.
    if (g_hold.give != nullptr && !g_hold.give()) {
        return kStatusUsage;
    }
    beginBatch();
    startReadingLines(STDIN_FILENO);
    int status = 0;
    bool anyFailed = false;
    for (InputLine line = readLine(); line.kind != LineKind::end; line = readLine()) {
        if (line.kind == LineKind::readError) {
            std::fprintf(stderr, "panoctl: cannot read standard input: %s\n",
                         std::strerror(line.error));
            status = kStatusUsage;
            break;
        }
        LineOutcome outcome = options.fail ? LineOutcome::failed : LineOutcome::answered;
        if (line.kind == LineKind::tooLong) {
            answerRefusal("line too long");
        } else {
            outcome = answerBatchLine(line.text, line.length, options);
        }
        if (outcome == LineOutcome::stopped) {
            status = kStatusUsage;
            break;
        }
        anyFailed = anyFailed || outcome == LineOutcome::failed;
        if (outcome != LineOutcome::unanswered && (status = finishOutput(0)) != 0) {
            break;
        }
    }
    endBatch();
    if (status == 0 && anyFailed) {
        status = kStatusDocumentFailed;
    }
    return status;
}
