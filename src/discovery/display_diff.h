// What changed between two discoveries: the displays that went and those
// that came, by id. Displays that share an id are told apart by their order
// among the displays with that id.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "discovery/display_table.h"

// What a watcher keeps of a display from one discovery to the next: what
// list shows of it, without the handle and lock files the table's record
// holds until the next discovery.
struct KnownDisplay {
    std::array<char, sizeof(DisplayRecord::id)> id{};
    std::array<char, sizeof(DisplayRecord::serial)> serial{};
    std::array<char, sizeof(DisplayRecord::name)> name{};
};

struct KnownDisplays {
    std::array<KnownDisplay, kMaxDisplays> items{};
    int32_t count = 0;
    std::span<const KnownDisplay> view() const
    {
        return std::span<const KnownDisplay>(items.data(), static_cast<size_t>(count));
    }
};

// The table's displays as a watcher keeps them.
KnownDisplays knownDisplaysOf(const DisplayTable& table);

enum class DisplayChangeKind : uint8_t { removed, added };

struct DisplayChange {
    DisplayChangeKind kind;
    int32_t index;  // removed: its place in the table before; added: after (from 0)
};

struct DisplayChanges {
    std::array<DisplayChange, 2 * static_cast<size_t>(kMaxDisplays)> items{};
    int32_t count = 0;
    std::span<const DisplayChange> view() const
    {
        return std::span<const DisplayChange>(items.data(), static_cast<size_t>(count));
    }
};

// The removals, in `before`'s order, then the additions, in `after`'s
// order. Taking the removed displays out of `before` and then putting each
// added one at its index gives `after`. Displays present in both stay
// unless they changed places: the most that can keep their order stay, and
// the others are removed and added again, so a reader's copy of the table
// always ends equal to `after`.
DisplayChanges diffDisplays(std::span<const KnownDisplay> before,
                            std::span<const KnownDisplay> after);
