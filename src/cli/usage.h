// Refused command lines: how a run says that it did not understand its words.
// Every refusal goes through here, so the one place decides where the text
// goes; a command refuses before it prints anything on standard output.
#pragma once

// Exit status for a run whose arguments were refused.
inline constexpr int kStatusUsage = 2;

// Writes the formatted text and a line feed to standard error.
[[gnu::format(printf, 1, 2)]] void refuseCommandLine(const char* format, ...);
