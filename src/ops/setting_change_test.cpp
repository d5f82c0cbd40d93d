// Percentages in a calibrated range: 0% and 100% are the range's ends,
// steps by a percentage stay inside it, and raw numbers ignore it.
#include <gtest/gtest.h>

#include "ops/setting_change.h"

namespace {

SettingChange percent(long amount, bool relative = false)
{
    SettingChange change;
    change.percent = true;
    change.relative = relative;
    change.amount = amount;
    return change;
}

TEST(CalibratedPercent, SpansTheRangeInsteadOfTheMaximum)
{
    Calibration range{0x10, 10, 80};
    EXPECT_EQ(percent(0).target(60, 100, &range), 10);
    EXPECT_EQ(percent(50).target(60, 100, &range), 45);
    EXPECT_EQ(percent(100).target(60, 100, &range), 80);
    EXPECT_EQ(percent(50).target(60, 100, nullptr), 50);
    // Steps by a percentage of the range stay inside it.
    EXPECT_EQ(percent(-10, true).target(60, 100, &range), 53);
    EXPECT_EQ(percent(50, true).target(60, 100, &range), 80);
    EXPECT_EQ(percent(-50, true).target(20, 100, &range), 10);
}

TEST(CalibratedPercent, IsHeldToWhatTheMonitorReports)
{
    Calibration range{0x10, 10, 500};
    EXPECT_EQ(percent(100).target(0, 100, &range), 100);
    PercentRange held = percentRange(100, &range);
    EXPECT_EQ(held.low, 10);
    EXPECT_EQ(held.high, 100);
}

TEST(CalibratedPercent, RawNumbersAndStepsIgnoreIt)
{
    Calibration range{0x10, 10, 80};
    SettingChange plain;
    plain.amount = 5;
    EXPECT_EQ(plain.target(60, 100, &range), 5);
    SettingChange step;
    step.relative = true;
    step.amount = 30;
    EXPECT_EQ(step.target(60, 100, &range), 90);
}

TEST(PercentInRange, RoundsHalvesUpAndClampsOutsideTheRange)
{
    EXPECT_EQ(percentInRange(60, PercentRange{10, 80}), 71);
    EXPECT_EQ(percentInRange(45, PercentRange{10, 80}), 50);
    EXPECT_EQ(percentInRange(5, PercentRange{10, 80}), 0);
    EXPECT_EQ(percentInRange(90, PercentRange{10, 80}), 100);
    EXPECT_EQ(percentInRange(1, PercentRange{0, 3}), 33);
    EXPECT_EQ(percentInRange(2, PercentRange{0, 3}), 67);
    EXPECT_FALSE(percentInRange(0, PercentRange{0, 0}).has_value());
}

}  // namespace
