// "Did you mean": the known name nearest to a word that matched none, when
// it is near enough that the word is likely a typo of it.
#pragma once

#include <cstddef>
#include <string_view>

struct NearestName {
    std::string_view word;  // what was typed
    std::string_view best;  // the nearest candidate so far, or empty
    size_t distance = 0;
};

// Starts a search for the candidate nearest to `word`.
NearestName startNearest(std::string_view word);

// Compares one candidate with the word (in any ASCII letter case).
void considerName(NearestName* nearest, std::string_view candidate);

// The nearest candidate when it is a likely typo of the word: at most one
// edit away for words of up to seven letters, two for longer ones, and
// fewer edits than the word has letters. Otherwise an empty view.
std::string_view likelyMeant(const NearestName& nearest);

// Edits (insertions, deletions, substitutions, swaps of neighbours) that
// turn `a` into `b`, letters compared in any case; SIZE_MAX for words longer
// than 64 bytes, which are no typo of a name.
size_t editDistance(std::string_view a, std::string_view b);
