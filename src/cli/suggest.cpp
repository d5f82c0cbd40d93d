#include "cli/suggest.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

constexpr size_t kLongestWord = 64;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

size_t editDistance(std::string_view a, std::string_view b)
{
    if (a.size() > kLongestWord || b.size() > kLongestWord) {
        return SIZE_MAX;
    }
    // Three rows of the usual table: the one before the last is needed for
    // a swap of two neighbouring letters, the commonest typo.
    std::array<std::array<size_t, kLongestWord + 1>, 3> rows{};
    for (size_t j = 0; j <= b.size(); j++) {
        rows[1][j] = j;
    }
    for (size_t i = 1; i <= a.size(); i++) {
        std::array<size_t, kLongestWord + 1>& twoBack = rows[0];
        std::array<size_t, kLongestWord + 1>& previous = rows[1];
        std::array<size_t, kLongestWord + 1>& current = rows[2];
        current[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                lower(a[i - 2]) == lower(b[j - 1])) {
                current[j] = std::min(current[j], twoBack[j - 2] + 1);
            }
        }
        std::rotate(rows.begin(), rows.begin() + 1, rows.end());
    }
    return rows[1][b.size()];
}

NearestName startNearest(std::string_view word)
{
    NearestName nearest;
    nearest.word = word;
    nearest.distance = SIZE_MAX;
    return nearest;
}

void considerName(NearestName* nearest, std::string_view candidate)
{
    size_t distance = editDistance(nearest->word, candidate);
    if (distance < nearest->distance) {
        nearest->best = candidate;
        nearest->distance = distance;
    }
}

std::string_view likelyMeant(const NearestName& nearest)
{
    size_t allowed = nearest.word.size() >= 8 ? 2 : 1;
    if (nearest.best.empty() || nearest.distance > allowed ||
        nearest.distance >= nearest.word.size()) {
        return {};
    }
    return nearest.best;
}
