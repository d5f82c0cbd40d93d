// The run of one panoctl process: discovery, then one command.
#pragma once

// Checks for a command word, discovers the displays, runs the command that
// the word and the argument count select, and returns the exit status.
int panoctl_main(int argc, char** argv);
