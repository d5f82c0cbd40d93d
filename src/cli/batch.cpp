#include "cli/batch.h"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/dispatch.h"
#include "cli/display_lookup.h"
#include "cli/json_escape.h"
#include "cli/line_reader.h"
#include "cli/output.h"
#include "cli/usage.h"

namespace {

using LineWords = std::array<char*, kMaxLineWords + 1>;

constexpr const char* kBatchWord = "batch";

// Splits the line at spaces and tabs, in place, into `words`. Returns the
// number of words, or kMaxLineWords + 1 when there are more.
size_t splitWords(char* line, LineWords* words)
{
    size_t count = 0;
    char* next = line;
    for (;;) {
        next += std::strspn(next, " \t");
        if (*next == '\0') {
            return count;
        }
        if (count == words->size()) {
            return count;
        }
        (*words)[count++] = next;
        next += std::strcspn(next, " \t");
        if (*next != '\0') {
            *next++ = '\0';
        }
    }
}

// The answer to a refused line: a document in place of the text a one-shot
// run would have written to standard error.
void answerRefusal(Session* session, const char* text)
{
    std::array<char, escapedCapacity(kRefusalCapacity)> escaped;
    json_escape(text, escaped.data(), escaped.size());
    std::fprintf(session->out, "{\"error\":\"usage\",\"message\":\"%s\"}\n", escaped.data());
}

// Runs the words as a one-shot run would after its options: the line's own
// options are read on top of the batch's, and a refusal is kept, not written.
void runLineWords(Session* session, std::span<char* const> words, const RunOptions& batchOptions)
{
    RunOptions options = batchOptions;
    std::optional<size_t> optionWords = readOptions(words, &options, &session->refusals);
    if (optionWords) {
        session->options = options;
        words = words.subspan(*optionWords);
        if (options.help || options.version || commandLinePrintsText(words)) {
            // Text for people takes several lines, and a caller waits for one.
            refuseCommandLine(&session->refusals, "help and version are not available in batch");
        } else if (isBatchWord(words)) {
            refuseCommandLine(&session->refusals, "batch cannot run inside batch");
        } else {
            if (commandLineRediscovers(words)) {
                discoverDisplays(session);
            }
            runCommandLine(session, words);
        }
    }
    if (const char* refusal = takeCapturedRefusal(&session->refusals)) {
        answerRefusal(session, refusal);
    }
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

bool answerBatchLine(Session* session, char* line, size_t length, const RunOptions& options)
{
    // A word cut at a NUL would be run as another word than the one sent.
    if (std::memchr(line, '\0', length) != nullptr) {
        answerRefusal(session, "line holds a NUL byte");
        return true;
    }
    line[length] = '\0';
    LineWords words;
    size_t count = splitWords(line, &words);
    if (count == 0) {
        return false;
    }
    if (count > kMaxLineWords) {
        answerRefusal(session, "too many words");
        return true;
    }
    takeCapturedRefusal(&session->refusals);
    runLineWords(session, std::span<char* const>(words.data(), count), options);
    return true;
}

int runBatch(Session* session, const RunOptions& options)
{
    // A caller that stops reading ends the batch with status 3, after which
    // the run finishes as usual, rather than killing the process mid-way.
    std::signal(SIGPIPE, SIG_IGN);
    beginBatch(session);
    LineReader* reader = &session->lines;
    startReadingLines(reader, STDIN_FILENO);
    int status = 0;
    for (InputLine line = readLine(reader); line.kind != LineKind::end; line = readLine(reader)) {
        if (line.kind == LineKind::readError) {
            std::fprintf(session->err, "panoctl: cannot read standard input: %s\n",
                         std::strerror(line.error));
            status = kStatusUsage;
            break;
        }
        bool answered = true;
        if (line.kind == LineKind::tooLong) {
            answerRefusal(session, "line too long");
        } else {
            answered = answerBatchLine(session, line.text, line.length, options);
        }
        if (answered && (status = finishOutput(session, 0)) != 0) {
            break;
        }
    }
    endBatch(session);
    return status;
}
