// The run of one panoctl process: options, discovery, then one command.
#pragma once

#include <span>

// Reads the options, checks for a command word, discovers the displays when
// the command needs them, runs the command that the word and the argument
// count select, and returns the exit status.
int panoctl_main(int argc, char** argv);

// With DDC_DEBUG set, writes the run's transfer counters to standard error
// when the run discovered displays. Call it once the document is out.
void reportRunCounters();

// Whether the command line `words` (command word first, options already
// read) needs the display table, so discovery must run before it. Words that
// select no command need it too: discovery runs before they are refused.
bool commandLineNeedsDisplays(std::span<char* const> words);

// Runs the command line `words` on the display table as it is, and returns
// the exit status; refuses words that select no command.
int runCommandLine(std::span<char* const> words);
