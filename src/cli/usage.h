// Refused command lines: how a run says that it did not understand its words.
// Every refusal goes through here, so the one place decides where the text
// goes; a command refuses before it prints anything on standard output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

// Exit status for a run whose arguments were refused.
inline constexpr int kStatusUsage = 2;

// Room for the longest refusal text kept while capturing: a refused word of a
// batch line (at most 4,095 bytes) and the words around it, plus the NUL.
inline constexpr size_t kRefusalCapacity = 4096 + 64;

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
