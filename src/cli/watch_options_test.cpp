// --values and --every: the features a watch reports and its tick.
#include "cli/watch_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mccs/restorable.h"

namespace {

struct Parsed {
    bool ok;
    std::vector<int> codes;
    std::string refusal;
};

Parsed values(const char* text)
{
    Refusals refusals;
    captureRefusals(&refusals, true);
    WatchedFeatures features;
    static const Configuration kNoFile{};
    Parsed parsed{parseWatchedFeatures(&refusals, kNoFile, text, &features), {}, ""};
    for (size_t i = 0; i < features.count; i++) parsed.codes.push_back(features.codes[i]);
    if (const char* refusal = takeCapturedRefusal(&refusals)) parsed.refusal = refusal;
    return parsed;
}

TEST(WatchOptions, ValuesAreNamesOrCodesEachOnce)
{
    Parsed parsed = values("brightness,0x12,Input,16,96");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.codes, (std::vector<int>{0x10, 0x12, 0x60}));
    parsed = values("restorable,brightness");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.codes.size(), kRestorableCount);
}

TEST(WatchOptions, ValuesRefuseAsAnyUnknownName)
{
    EXPECT_EQ(values("brightness,brigtness").refusal,
              "panoctl: unknown feature: brigtness (did you mean brightness?)");
    EXPECT_FALSE(values("brightness,").ok);
    EXPECT_FALSE(values(",brightness").ok);
    EXPECT_EQ(values("0x100").refusal, "panoctl: out of range: 0x100 (0 to 255)");
    std::string longName(100, 'a');
    EXPECT_NE(values(longName.c_str()).refusal.find("unknown feature"), std::string::npos);
}

struct Tick {
    bool ok;
    int millis;
    std::string refusal;
};

Tick tick(const char* text)
{
    Refusals refusals;
    captureRefusals(&refusals, true);
    int millis = -1;
    Tick parsed{parseTickSeconds(&refusals, text, &millis), millis, ""};
    if (const char* refusal = takeCapturedRefusal(&refusals)) parsed.refusal = refusal;
    return parsed;
}

TEST(WatchOptions, EveryTakesSecondsFromHalfOneToAnHour)
{
    EXPECT_EQ(tick("2").millis, 2000);
    EXPECT_EQ(tick("0.5").millis, 500);
    EXPECT_EQ(tick("1.25").millis, 1250);
    EXPECT_EQ(tick("3600").millis, 3600000);
    for (const char* out : {"0.499", "0", "3600.001", "99999999999", "0.0001"}) {
        EXPECT_EQ(tick(out).refusal,
                  std::string("panoctl: out of range: --every ") + out + " (0.5 to 3600 seconds)");
    }
    for (const char* bad : {"", "-1", "1e3", ".5", "2.", "2s", "0x10", " 2"}) {
        EXPECT_EQ(tick(bad).refusal, std::string("panoctl: invalid number: ") + bad);
    }
}

}  // namespace
