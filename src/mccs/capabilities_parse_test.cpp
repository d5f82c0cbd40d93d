// The parser on its own, for inputs that cannot come over the bus: strings
// without the outer parentheses, more codes than the capacities, nesting far
// deeper than any monitor's.
#include "mccs/capabilities_parse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The result's views point into the text, which is kept until the next parse.
Capabilities& parse(const std::string& text)
{
    static Capabilities capabilities;
    static std::string kept;
    kept = text;
    parseCapabilities(kept, &capabilities);
    return capabilities;
}

TEST(CapabilitiesParse, OuterParenthesesAreOptional)
{
    Capabilities& bare = parse("  type(lcd)vcp(10 60(11))");
    EXPECT_EQ(bare.type, "lcd");
    ASSERT_EQ(bare.vcpCount, 2U);
    EXPECT_EQ(bare.vcp[1].code, 0x60);
    EXPECT_EQ(vcpValues(bare, bare.vcp[1]).size(), 1U);
}

// Every byte as two hex digits: 256 distinct codes or values.
std::string everyByte()
{
    std::string hex;
    for (int byte = 0; byte < 256; byte++) {
        hex += "0123456789abcdef"[byte / 16];
        hex += "0123456789abcdef"[byte % 16];
    }
    return hex;
}

TEST(CapabilitiesParse, CodesPastTheCapacityAreDroppedAndSaidToBe)
{
    // Commands are kept as listed; vcp codes once each, so every code fits.
    std::string many = "(cmds(" + std::string(4 * kMaxCapabilityCodes, 'a') + ")vcp(" +
                       std::string(2 * kMaxCapabilityCodes, 'b') + everyByte() + "))";
    Capabilities& capabilities = parse(many);
    EXPECT_EQ(capabilities.commandCount, kMaxCapabilityCodes);
    ASSERT_EQ(capabilities.vcpCount, 256U);
    EXPECT_EQ(capabilities.vcp[0].code, 0xBB);
    EXPECT_EQ(capabilities.vcp[1].code, 0x00);
    EXPECT_EQ(capabilities.vcp[255].code, 0xFF);
    EXPECT_TRUE(capabilities.truncated);

    // Five codes listing every value: the pool fills in the fifth.
    std::string values = "vcp(";
    for (const char* code : {"10", "12", "14", "16", "18"}) {
        values += std::string(code) + "(" + everyByte() + ")";
    }
    Capabilities& full = parse(values + ")");
    EXPECT_EQ(full.valueCount, kMaxCapabilityCodes);
    ASSERT_EQ(full.vcpCount, 5U);
    EXPECT_EQ(vcpValues(full, full.vcp[3]).size(), 256U);
    EXPECT_EQ(vcpValues(full, full.vcp[4]).size(), 0U);
    EXPECT_TRUE(full.truncated);
    EXPECT_FALSE(parse("vcp(10)").truncated);
}

TEST(CapabilitiesParse, ValuesGivenToAnEarlierCodeKeepEveryCodesValuesTogether)
{
    Capabilities& capabilities = parse("vcp(10(01) 12 14(02 03) 10(04) 12(05) 14(06) 10(07))");
    ASSERT_EQ(capabilities.vcpCount, 3U);
    const std::vector<std::vector<uint8_t>> expected{{1, 4, 7}, {5}, {2, 3, 6}};
    for (size_t i = 0; i < 3; i++) {
        std::span<const uint8_t> values = vcpValues(capabilities, capabilities.vcp[i]);
        EXPECT_EQ(std::vector<uint8_t>(values.begin(), values.end()), expected[i]) << i;
    }
    EXPECT_EQ(capabilities.valueCount, 7U);
}

TEST(CapabilitiesParse, DeepNestingCostsNoStack)
{
    std::string deep = "(foo" + std::string(1 << 20, '(') + std::string(1 << 20, ')') + "vcp(10" +
                       std::string(1 << 20, '(') + "))";
    Capabilities& capabilities = parse(deep);
    ASSERT_EQ(capabilities.vcpCount, 1U);
    EXPECT_FALSE(capabilities.vcp[0].listsValues);
}

}  // namespace
