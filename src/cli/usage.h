// Refused command lines: how a run says that it did not understand its words.
// Every refusal goes through here, so the one place decides where the text
// goes; a command refuses before it prints anything on standard output.
#pragma once

#include <cstddef>

// Exit status for a run whose arguments were refused.
inline constexpr int kStatusUsage = 2;

// Room for the longest refusal text kept while capturing: a refused word of a
// batch line (at most 4,095 bytes) and the words around it, plus the NUL.
inline constexpr size_t kRefusalCapacity = 4096 + 64;

// Writes the formatted text and a line feed to standard error, or, while
// refusals are captured, keeps the text (without line feed) for
// takeCapturedRefusal. Only the first refusal since the last take is kept.
[[gnu::format(printf, 1, 2)]] void refuseCommandLine(const char* format, ...);

// Whether refusals are kept instead of written (batch mode answers them on
// standard output). Switching forgets what was kept.
void captureRefusals(bool capture);

// The refusal kept since the last call, or null when there is none; the next
// call returns null until another refusal is made. The text stays valid
// until the next refusal.
const char* takeCapturedRefusal();
