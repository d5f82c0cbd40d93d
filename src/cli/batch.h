// Batch mode: one process answers many command lines read on standard input,
// one line of output each, so a caller pays for starting a process and
// discovering displays once instead of once per command.
#pragma once

#include <cstddef>
#include <span>

#include "cli/options.h"
#include "cli/session.h"

// Most words a batch line may have; a line with more is refused.
inline constexpr size_t kMaxLineWords = 64;

// Whether the command line (options already read) asks for a batch.
bool isBatchWord(std::span<char* const> words);

// Discovers the displays, then reads standard input line by line to its end
// and answers each line that has a word, flushing standard output after each
// answer. Every line is read as a one-shot command line would be, starting
// from the batch's `options`. Returns 0 at end of input (1 when a line whose
// options include --fail reported a failure), kStatusOutputFailed when an
// answer cannot be written (the batch stops there), or kStatusUsage when
// standard input cannot be read or `hold` fails.
int runBatch(Session* session, const RunOptions& options, const CommandHold& hold);

// What runBatch does around its lines: discovery, refusals captured for
// answers, and a selector that finds no display rediscovering once. Paired
// with endBatch, which puts a one-shot run's behaviour back.
void beginBatch(Session* session);
void endBatch(Session* session);

enum class LineOutcome {
    unanswered,  // no word: no answer
    answered,
    failed,   // answered with a failure that --fail, given for the line, counts
    stopped,  // `hold` failed: no answer, the batch ends
};

// Answers one line of `length` bytes (it may hold NULs, which are refused;
// the byte at `length` must be writable and is overwritten), as runBatch
// does, without flushing.
LineOutcome answerBatchLine(Session* session, char* line, size_t length, const RunOptions& options,
                            const CommandHold& hold);
