#include "cli/line_words.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

struct SplitCase {
    std::string line;
    size_t room;  // slots given for words
    std::vector<std::string> words;
};

TEST(SplitWords, SplitsAtSpacesAndTabsOnlyAndStopsWhenTheRoomIsFull)
{
    const SplitCase cases[] = {
        {"", 4, {}},
        {" \t  \t", 4, {}},
        {"list", 4, {"list"}},
        {"get 1 16", 4, {"get", "1", "16"}},
        {"  get\t\t1  16 \t", 4, {"get", "1", "16"}},
        // Only spaces and tabs separate: a carriage return, a vertical tab
        // or a form feed is part of the word.
        {"get 1 16\r", 4, {"get", "1", "16\r"}},
        {"a\vb c\fd", 4, {"a\vb", "c\fd"}},
        {"set 1 16 + 5", 5, {"set", "1", "16", "+", "5"}},
        {"\xff\xfe \xc3\xa9", 4, {"\xff\xfe", "\xc3\xa9"}},
        // As many words as there is room for, and more: the count says
        // "full", and the words stored are the first ones.
        {"a b c", 3, {"a", "b", "c"}},
        {"a b c d e", 3, {"a", "b", "c"}},
        {"a b c ", 2, {"a", "b"}},
        {"a", 0, {}},
    };
    for (const SplitCase& c : cases) {
        std::string line = c.line;  // split in place
        std::array<char*, 8> slots{};
        size_t count = splitWords(line.data(), std::span<char*>(slots.data(), c.room));
        std::vector<std::string> words(slots.begin(), slots.begin() + count);
        EXPECT_EQ(words, c.words) << "line " << testing::PrintToString(c.line) << ", room "
                                  << c.room;
        // Nothing is written past the room given.
        for (size_t i = c.room; i < slots.size(); ++i) {
            EXPECT_EQ(slots[i], nullptr) << "line " << testing::PrintToString(c.line);
        }
        // The words point into the line itself.
        for (size_t i = 0; i < count; ++i) {
            EXPECT_TRUE(slots[i] >= line.data() && slots[i] < line.data() + line.size())
                << "line " << testing::PrintToString(c.line) << ", word " << i;
        }
    }
}

}  // namespace
