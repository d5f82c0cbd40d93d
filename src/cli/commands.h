// The five commands. Each prints its one JSON document on standard output
// and returns the exit status; argv[0] is the program, argv[1] the command
// word, and the dispatcher has checked that the arguments they need exist.
#pragma once

int commandList(int argc, char** argv);
int commandGet(int argc, char** argv);
int commandSet(int argc, char** argv);
int commandCapabilities(int argc, char** argv);
int commandProbeaddr(int argc, char** argv);

// Exit status for a run whose arguments were refused.
inline constexpr int kStatusUsage = 2;
