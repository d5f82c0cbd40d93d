// Refused command lines: how a run says that it did not understand its words.
// Every refusal goes through here, so the one place decides where the text
// goes; a command refuses before it prints anything on standard output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

// Exit status for a run whose arguments were refused.
inline constexpr int kStatusUsage = 2;

// A string a refusal echoes (an argument, a path, a key) is cut to this many
// bytes, followed by "…", so a refusal line stays short whatever it is given.
inline constexpr size_t kMaxEchoedWordBytes = 256;

// Room for the longest refusal text kept while capturing: the refusals'
// own words and the echoed strings around them, plus the NUL.
inline constexpr size_t kRefusalCapacity = 4096 + 64;

// Room for a refusal written to standard error, where each echoed byte may
// take six as an escape.
inline constexpr size_t kRefusalLineCapacity = 8192;

// Where a run's refusals go: written to `stream`, or, while captured (batch
// mode answers them on standard output), kept.
struct Refusals {
    std::FILE* stream = stderr;
    bool capturing = false;
    bool captured = false;
    std::array<char, kRefusalCapacity> text{};
};

// Writes the formatted text and a line feed to the refusals' stream, or,
// while refusals are captured, keeps the text (without line feed) for
// takeCapturedRefusal. Only the first refusal since the last take is kept.
// Each string argument is cut to kMaxEchoedWordBytes; on the stream it is
// escaped (escapeForTerminal), kept it is raw for the answer to escape.
// Formats use %s, %.*s, the integer conversions and %%.
[[gnu::format(printf, 2, 3)]] void refuseCommandLine(Refusals* refusals, const char* format, ...);

// A note for the person at the shell, beside a document that says the
// same for programs: the formatted text and a line feed, always written to
// the refusals' stream, in a batch too (where the document is the answer).
[[gnu::format(printf, 2, 3)]] void tellUser(Refusals* refusals, const char* format, ...);

// Whether refusals are kept instead of written. Switching forgets what was
// kept.
void captureRefusals(Refusals* refusals, bool capture);

// The refusal kept since the last call, or null when there is none; the next
// call returns null until another refusal is made. The text stays valid
// until the next refusal.
const char* takeCapturedRefusal(Refusals* refusals);
