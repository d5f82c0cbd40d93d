// A batch line split into its words: runs of bytes other than spaces and
// tabs, as a shell would split a simple command line without quoting.
#pragma once

#include <cstddef>
#include <span>

// Splits the NUL-terminated `line` in place at spaces and tabs (each word
// ends with a NUL written over the separator after it) and points `words` at
// the words in order. Returns how many it stored: words.size() when the line
// has that many or more, so a caller that accepts N words gives room for
// N + 1 to tell a line with too many.
size_t splitWords(char* line, std::span<char*> words);
