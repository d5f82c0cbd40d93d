// The name table as the command line, help and completion rely on it: every
// name can be typed back and finds its own row, whatever its letter case.
#include "mccs/feature_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

bool isKebabCase(std::string_view name)
{
    if (name.empty() || name.front() == '-' || name.back() == '-' ||
        name.find("--") != std::string_view::npos) {
        return false;
    }
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return false;
        }
    }
    return true;
}

TEST(FeatureNames, EveryNameIsKebabCaseUniqueAndFindsItsOwnRow)
{
    std::set<std::string> seen;
    for (const FeatureName& feature : featureNames()) {
        EXPECT_TRUE(isKebabCase(feature.name)) << feature.name;
        EXPECT_TRUE(seen.insert(std::string(feature.name)).second) << feature.name;
        EXPECT_EQ(featureByName(feature.name), &feature);
        EXPECT_EQ(featureByCode(feature.code), &feature);
        std::string upper(feature.name);
        for (char& c : upper) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        EXPECT_EQ(featureByName(upper), &feature) << upper;
        // A name that reads as a number would be taken for one.
        EXPECT_FALSE(feature.name.front() >= '0' && feature.name.front() <= '9');
        std::set<std::string> values;
        std::set<uint16_t> numbers;
        for (const NamedValue& value : feature.values) {
            EXPECT_TRUE(isKebabCase(value.name)) << feature.name << " " << value.name;
            EXPECT_TRUE(values.insert(std::string(value.name)).second) << value.name;
            EXPECT_TRUE(numbers.insert(value.value).second) << value.name;
            EXPECT_EQ(namedValue(feature.code, value.name), value.value);
            EXPECT_EQ(valueName(feature.code, value.value), value.name);
        }
    }
}

TEST(FeatureNames, CoverTheStandardCodesAndNoManufacturerCode)
{
    EXPECT_GE(featureNames().size(), 140U);
    for (int code : {0x04, 0x0C, 0x52, 0xB6, 0xC8, 0xC0, 0xDF}) {
        EXPECT_NE(featureByCode(static_cast<uint8_t>(code)), nullptr) << code;
    }
    for (int code = 0xE0; code <= 0xFF; code++) {
        EXPECT_EQ(featureByCode(static_cast<uint8_t>(code)), nullptr) << code;
    }
    EXPECT_EQ(featureByName("restore-factory-defaults")->code, 0x04);
    EXPECT_EQ(namedValue(0x60, "HDMI-1"), 0x11);
    EXPECT_EQ(namedValue(0x60, "displayport-1"), 0x0F);
    EXPECT_FALSE(namedValue(0x10, "hdmi-1"));
    EXPECT_EQ(valueName(0x60, 0x13), "");
}

TEST(FeatureNames, ActionsAreSentOnceAndOnlyLevelsTakeSteps)
{
    for (int code : {0x01, 0x04, 0x05, 0x06, 0x08, 0x0A, 0xB0}) {
        EXPECT_TRUE(isActionCode(static_cast<uint8_t>(code))) << code;
        EXPECT_FALSE(takesSteps(static_cast<uint8_t>(code))) << code;
    }
    for (int code : {0x10, 0x12, 0x16, 0x62, 0x87}) {
        EXPECT_FALSE(isActionCode(static_cast<uint8_t>(code))) << code;
        EXPECT_TRUE(takesSteps(static_cast<uint8_t>(code))) << code;
    }
    for (int code : {0x14, 0x60, 0x8D, 0xD6, 0xDC, 0x73}) {
        EXPECT_FALSE(takesSteps(static_cast<uint8_t>(code))) << code;
    }
    // A manufacturer's code may be a level: nothing is refused for it.
    EXPECT_TRUE(takesSteps(0xE0));
    EXPECT_FALSE(isActionCode(0xE0));
}

}  // namespace
