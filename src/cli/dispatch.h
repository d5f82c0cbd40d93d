// The run of one panoctl process: options, discovery, then one command, or a
// batch of command lines.
#pragma once

#include <array>
#include <span>

#include "cli/batch.h"
#include "cli/session.h"

// Reads the options, checks for a command word, discovers the displays when
// the command needs them, runs the command that the word and the argument
// count select, and returns the exit status. The word `batch` runs a batch
// instead, with the options read so far, and `hold` around its lines that
// reach a monitor. The session's displays stay in its table until
// releaseDisplays.
int panoctl_main(Session* session, int argc, char** argv, const CommandHold& hold = CommandHold{});

// The first thing a process does with its command line, before it sets up
// anything else: a run that will watch takes over SIGINT and SIGTERM here,
// so a signal at any moment of its start ends it as a stop, with status 0.
void prepareForCommandLine(int argc, char** argv);

// Writes the values the run's commands changed to the displays' journals
// of changes, for the watches of any process. Called once the platform's
// hold is given back, so that no entry tells of a value not kept.
void publishDisplayChanges(Session* session);

// With DDC_DEBUG set, writes the run's transfer counters to the session's
// diagnostics when the run discovered displays. Call it once the document
// is out.
void reportRunCounters(const Session& session);

// Whether the command line `words` (command word first, options already
// read) needs the display table, so discovery must run before it. Words that
// select no command need it too: discovery runs before they are refused. No
// words need none.
bool commandLineNeedsDisplays(std::span<char* const> words);

// Whether the command line asks for the displays as they are now (`list`),
// so a batch discovers again before it.
bool commandLineRediscovers(std::span<char* const> words);

// Whether the command line runs a command that talks to a monitor (all but
// list, help and version), so a batch takes the command hold around it.
bool commandLineReachesMonitors(std::span<char* const> words);

// Whether the command line prints text for people (help, version) rather
// than one document.
bool commandLinePrintsText(std::span<char* const> words);

// Whether the command line writes lines until it is stopped (watch) rather
// than one document.
bool commandLineStreams(std::span<char* const> words);

// Runs the command line `words` on the display table as it is, with the
// session's options, and returns the exit status; refuses no words, and
// words that select no command. Shows the lock warnings the command left.
int runCommandLine(Session* session, std::span<char* const> words);

// The line a run without a command word is refused with: every command
// word, and where to read more. Written into `line`, which it returns.
const char* usageLine(std::array<char, 256>& line);

// Refuses a word left over once a command is complete.
void refuseUnexpectedWord(Refusals* refusals, const char* word);
