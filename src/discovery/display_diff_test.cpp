// The diff of two display tables: which displays went and came, and that a
// reader applying the changes to its copy of the table ends with the new one.
#include "discovery/display_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A table from ids separated by spaces; a display's name is its id and its
// place, so that a test can tell which of two same-id displays a change names.
std::vector<KnownDisplay> table(const std::string& ids)
{
    std::vector<KnownDisplay> records;
    std::istringstream words(ids);
    for (std::string id; words >> id;) {
        KnownDisplay record;
        copyText(record.id, id.c_str());
        copyText(record.name, (id + std::to_string(records.size() + 1)).c_str());
        records.push_back(record);
    }
    return records;
}

// "-A2" for the removal of the display named A2, "+B@1" for B added at
// position 1 (from 1, as the watch prints it).
std::string describe(const std::vector<KnownDisplay>& before,
                     const std::vector<KnownDisplay>& after, const DisplayChanges& changes)
{
    std::string text;
    for (const DisplayChange& change : changes.view()) {
        if (!text.empty()) text += ' ';
        if (change.kind == DisplayChangeKind::removed) {
            text += "-" + std::string(before[static_cast<size_t>(change.index)].name.data());
        } else {
            text += "+" + std::string(after[static_cast<size_t>(change.index)].id.data()) + "@" +
                    std::to_string(change.index + 1);
        }
    }
    return text;
}

// What a reader of the changes ends with, starting from `before`.
std::vector<std::string> apply(const std::vector<KnownDisplay>& before,
                               const std::vector<KnownDisplay>& after,
                               const DisplayChanges& changes)
{
    std::vector<std::string> ids;
    std::vector<bool> removed(before.size());
    for (const DisplayChange& change : changes.view()) {
        if (change.kind == DisplayChangeKind::removed)
            removed[static_cast<size_t>(change.index)] = true;
    }
    for (size_t i = 0; i < before.size(); i++) {
        if (!removed[i]) ids.emplace_back(before[i].id.data());
    }
    for (const DisplayChange& change : changes.view()) {
        if (change.kind == DisplayChangeKind::added) {
            EXPECT_LE(static_cast<size_t>(change.index), ids.size());
            ids.insert(ids.begin() + change.index,
                       after[static_cast<size_t>(change.index)].id.data());
        }
    }
    return ids;
}

std::vector<std::string> idsOf(const std::vector<KnownDisplay>& records)
{
    std::vector<std::string> ids;
    ids.reserve(records.size());
    for (const KnownDisplay& record : records) ids.emplace_back(record.id.data());
    return ids;
}

TEST(DisplayDiff, ChangesBetweenTwoTables)
{
    struct Case {
        const char* before;
        const char* after;
        const char* changes;
    } cases[] = {
        {"", "", ""},
        {"A B", "A B", ""},
        {"", "A B", "+A@1 +B@2"},
        {"A B", "", "-A1 -B2"},
        {"A B", "A C B", "+C@2"},
        {"A B C", "A C", "-B2"},
        {"A B", "C D", "-A1 -B2 +C@1 +D@2"},
        // One changed places: the fewest changes, removed then added.
        {"A B", "B A", "-A1 +A@2"},
        {"A B C", "C A B", "-C3 +C@1"},
        // Same ids told apart by their order among themselves: the second
        // one goes, whichever was unplugged.
        {"X X", "X", "-X2"},
        {"X Y X", "X Y", "-X3"},
        // The first X stays the first X, and moved past Y.
        {"X Y X", "Y X", "-X1 -X3 +X@2"},
        {"X", "X X", "+X@2"},
        {"X Y", "X X Y", "+X@2"},
        // Ids compare exactly: case and length count.
        {"ab", "AB", "-ab1 +AB@1"},
        {"A", "AA", "-A1 +AA@1"},
    };
    for (const Case& c : cases) {
        std::vector<KnownDisplay> before = table(c.before);
        std::vector<KnownDisplay> after = table(c.after);
        DisplayChanges changes = diffDisplays(before, after);
        EXPECT_EQ(describe(before, after, changes), c.changes) << c.before << " -> " << c.after;
        EXPECT_EQ(apply(before, after, changes), idsOf(after)) << c.before << " -> " << c.after;
    }
}

// Full tables of repeated ids, shuffled: whatever the tables, a reader ends
// with the new one, and displays kept in order are never reported.
TEST(DisplayDiff, ReaderAlwaysEndsWithTheNewTable)
{
    std::mt19937 random(18);
    const std::string letters = "ABCD";
    for (int round = 0; round < 2000; round++) {
        std::string ids[2];
        for (std::string& text : ids) {
            size_t count = random() % (kMaxDisplays + 1);
            for (size_t i = 0; i < count; i++) {
                text += letters[random() % letters.size()];
                text += ' ';
            }
        }
        std::vector<KnownDisplay> before = table(ids[0]);
        std::vector<KnownDisplay> after = table(ids[1]);
        DisplayChanges changes = diffDisplays(before, after);
        ASSERT_EQ(apply(before, after, changes), idsOf(after)) << ids[0] << "-> " << ids[1];
        if (ids[0] == ids[1]) {
            ASSERT_EQ(changes.count, 0) << ids[0];
        }
    }
}

}  // namespace
