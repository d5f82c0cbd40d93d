// Which typos earn a "did you mean", and which words are too far from any
// name to guess at.
#include "cli/suggest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string meant(const std::string& word, const std::vector<std::string>& names)
{
    NearestName nearest = startNearest(word);
    for (const std::string& name : names) {
        considerName(&nearest, name);
    }
    return std::string(likelyMeant(nearest));
}

const std::vector<std::string> kCommands{"list", "get", "set", "save", "restore", "watch"};

TEST(Suggest, EditsCountInsertionsDeletionsSubstitutionsAndSwapsInAnyCase)
{
    EXPECT_EQ(editDistance("brightness", "brightness"), 0U);
    EXPECT_EQ(editDistance("brigtness", "brightness"), 1U);
    EXPECT_EQ(editDistance("HDMI1", "hdmi-1"), 1U);
    EXPECT_EQ(editDistance("wathc", "watch"), 1U);
    EXPECT_EQ(editDistance("", "get"), 3U);
    EXPECT_EQ(editDistance(std::string(65, 'a'), "a"), SIZE_MAX);
}

TEST(Suggest, NamesALikelyTypoAndNothingFartherAway)
{
    EXPECT_EQ(meant("lst", kCommands), "list");
    EXPECT_EQ(meant("SAVE", kCommands), "save");
    EXPECT_EQ(meant("restroe", kCommands), "restore");
    EXPECT_EQ(meant("sat", kCommands), "set");
    // Two edits in a short word is a different word.
    EXPECT_EQ(meant("bogus", {"focus"}), "");
    EXPECT_EQ(meant("xyz", kCommands), "");
    // Nor is a one-letter word a typo of a two-letter name.
    EXPECT_EQ(meant("x", {"on"}), "");
    EXPECT_EQ(meant("", kCommands), "");
    EXPECT_EQ(meant("brigthnes", {"brightness", "contrast"}), "brightness");
}

}  // namespace
