#include "discovery/display_diff.h"

#include <algorithm>
#include <cstring>

namespace {

// For each display, how many displays before it in the same table share its
// id: with the id, what tells it apart.
using Occurrences = std::array<int32_t, kMaxDisplays>;

Occurrences occurrencesOf(std::span<const KnownDisplay> table)
{
    Occurrences occurrences{};
    for (size_t i = 0; i < table.size(); i++) {
        for (size_t j = 0; j < i; j++) {
            if (std::strcmp(table[j].id.data(), table[i].id.data()) == 0) {
                occurrences[i]++;
            }
        }
    }
    return occurrences;
}

}  // namespace

KnownDisplays knownDisplaysOf(const DisplayTable& table)
{
    KnownDisplays known;
    for (const DisplayRecord& record : table.displays()) {
        if (known.count == kMaxDisplays) {
            break;
        }
        KnownDisplay& display = known.items[static_cast<size_t>(known.count++)];
        display.id = record.id;
        display.serial = record.serial;
        display.name = record.name;
    }
    return known;
}

DisplayChanges diffDisplays(std::span<const KnownDisplay> before,
                            std::span<const KnownDisplay> after)
{
    before = before.first(std::min(before.size(), static_cast<size_t>(kMaxDisplays)));
    after = after.first(std::min(after.size(), static_cast<size_t>(kMaxDisplays)));
    Occurrences beforeOccurrences = occurrencesOf(before);
    Occurrences afterOccurrences = occurrencesOf(after);
    auto same = [&](size_t i, size_t j) {
        return beforeOccurrences[i] == afterOccurrences[j] &&
               std::strcmp(before[i].id.data(), after[j].id.data()) == 0;
    };

    // kept[i][j]: how many displays of before[i..] and after[j..] can stay,
    // in the same order in both (their longest common subsequence).
    std::array<std::array<int8_t, kMaxDisplays + 1>, kMaxDisplays + 1> kept{};
    for (size_t i = before.size(); i-- > 0;) {
        for (size_t j = after.size(); j-- > 0;) {
            kept[i][j] = same(i, j) ? static_cast<int8_t>(kept[i + 1][j + 1] + 1)
                                    : std::max(kept[i + 1][j], kept[i][j + 1]);
        }
    }

    std::array<bool, kMaxDisplays> beforeStays{};
    std::array<bool, kMaxDisplays> afterStays{};
    for (size_t i = 0, j = 0; i < before.size() && j < after.size();) {
        if (same(i, j)) {
            beforeStays[i++] = true;
            afterStays[j++] = true;
        } else if (kept[i + 1][j] >= kept[i][j + 1]) {
            i++;
        } else {
            j++;
        }
    }

    DisplayChanges changes;
    for (size_t i = 0; i < before.size(); i++) {
        if (!beforeStays[i]) {
            changes.items[static_cast<size_t>(changes.count++)] = {DisplayChangeKind::removed,
                                                                   static_cast<int32_t>(i)};
        }
    }
    for (size_t j = 0; j < after.size(); j++) {
        if (!afterStays[j]) {
            changes.items[static_cast<size_t>(changes.count++)] = {DisplayChangeKind::added,
                                                                   static_cast<int32_t>(j)};
        }
    }
    return changes;
}
