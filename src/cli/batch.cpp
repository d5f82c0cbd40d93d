#include "cli/batch.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/commands.h"
#include "cli/dispatch.h"
#include "cli/display_lookup.h"
#include "cli/line_reader.h"
#include "cli/line_words.h"
#include "cli/output.h"
#include "cli/usage.h"
#include "ops/json_escape.h"

namespace {

using LineWords = std::array<char*, kMaxLineWords + 1>;

constexpr const char* kBatchWord = "batch";

// The answer to a refused line: a document in place of the text a one-shot
// run would have written to standard error.
void answerRefusal(Session* session, const char* text)
{
    std::array<char, escapedCapacity(kRefusalCapacity)> escaped;
    json_escape(text, escaped.data(), escaped.size());
    std::fprintf(session->out, "{\"error\":\"usage\",\"message\":\"%s\"}\n", escaped.data());
}

// Runs one command that reaches a monitor inside the command hold.
LineOutcome runHeld(Session* session, std::span<char* const> words, const CommandHold& hold)
{
    if (hold.take != nullptr && !hold.take()) {
        return LineOutcome::stopped;
    }
    int status = runCommandLine(session, words);
    if (hold.give != nullptr && !hold.give()) {
        return LineOutcome::stopped;
    }
    publishDisplayChanges(session);
    return status == 0 ? LineOutcome::answered : LineOutcome::failed;
}

// Runs the words as a one-shot run would after its options: the line's own
// options are read on top of the batch's, and a refusal is kept, not written.
LineOutcome runLineWords(Session* session, std::span<char* const> words,
                         const RunOptions& batchOptions, const CommandHold& hold)
{
    RunOptions options = batchOptions;
    LineOutcome outcome = LineOutcome::answered;
    ArgumentWords arguments;
    if (readOptions(words, &options, &arguments, &session->refusals)) {
        session->options = options;
        words = arguments.span();
        if (options.help || options.version || commandLinePrintsText(words)) {
            // Text for people takes several lines, and a caller waits for one.
            refuseCommandLine(&session->refusals,
                              "panoctl: help and version are not available in batch");
        } else if (isBatchWord(words)) {
            refuseCommandLine(&session->refusals, "panoctl: batch cannot run inside batch");
        } else if (commandLineStreams(words)) {
            // Its lines never end, and the batch's caller waits for one answer.
            refuseCommandLine(&session->refusals, "panoctl: watch is not available in batch");
        } else {
            if (commandLineRediscovers(words)) {
                discoverDisplays(session);
            }
            outcome = commandLineReachesMonitors(words)
                          ? runHeld(session, words, hold)
                          : (runCommandLine(session, words) == 0 ? LineOutcome::answered
                                                                 : LineOutcome::failed);
        }
    }
    if (const char* refusal = takeCapturedRefusal(&session->refusals)) {
        answerRefusal(session, refusal);
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

void beginBatch(Session* session)
{
    captureRefusals(&session->refusals, true);
    session->rediscoverOnMiss = true;
    session->batch = true;
    discoverDisplays(session);
}

void endBatch(Session* session)
{
    captureRefusals(&session->refusals, false);
    session->rediscoverOnMiss = false;
    session->batch = false;
}

LineOutcome answerBatchLine(Session* session, char* line, size_t length, const RunOptions& options,
                            const CommandHold& hold)
{
    LineOutcome refused = options.fail ? LineOutcome::failed : LineOutcome::answered;
    // A word cut at a NUL would be run as another word than the one sent.
    if (std::memchr(line, '\0', length) != nullptr) {
        answerRefusal(session, "line holds a NUL byte");
        return refused;
    }
    line[length] = '\0';
    LineWords words;
    size_t count = splitWords(line, words);
    if (count == 0) {
        return LineOutcome::unanswered;
    }
    if (count > kMaxLineWords) {
        answerRefusal(session, "too many words");
        return refused;
    }
    takeCapturedRefusal(&session->refusals);
    return runLineWords(session, std::span<char* const>(words.data(), count), options, hold);
}

int runBatch(Session* session, const RunOptions& options, const CommandHold& hold)
{
    // The hold the run took at start-up would keep every other run out for
    // the batch's whole life; each line takes its own.
    if (hold.give != nullptr && !hold.give()) {
        return kStatusUsage;
    }
    beginBatch(session);
    LineReader* reader = &session->lines;
    startReadingLines(reader, STDIN_FILENO);
    int status = 0;
    bool anyFailed = false;
    for (InputLine line = readLine(reader); line.kind != LineKind::end; line = readLine(reader)) {
        if (line.kind == LineKind::readError) {
            std::fprintf(session->err, "panoctl: cannot read standard input: %s\n",
                         std::strerror(line.error));
            status = kStatusUsage;
            break;
        }
        LineOutcome outcome = options.fail ? LineOutcome::failed : LineOutcome::answered;
        if (line.kind == LineKind::tooLong) {
            answerRefusal(session, "line too long");
        } else {
            outcome = answerBatchLine(session, line.text, line.length, options, hold);
        }
        if (outcome == LineOutcome::stopped) {
            status = kStatusUsage;
            break;
        }
        anyFailed = anyFailed || outcome == LineOutcome::failed;
        if (outcome != LineOutcome::unanswered && (status = finishOutput(session, 0)) != 0) {
            break;
        }
    }
    endBatch(session);
    if (status == 0 && anyFailed) {
        status = kStatusDocumentFailed;
    }
    return status;
}
