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

TEST(CapabilitiesParse, CodesPastTheCapacityAreDroppedAndSaidToBe)
{
    std::string many = "(cmds(" + std::string(4 * kMaxCapabilityCodes, 'a') + ")vcp(" +
                       std::string(2 * kMaxCapabilityCodes, 'b') + "10(" +
                       std::string(2 * kMaxCapabilityCodes + 8, 'c') + "))";
    Capabilities& capabilities = parse(many);
    EXPECT_EQ(capabilities.commandCount, kMaxCapabilityCodes);
    EXPECT_EQ(capabilities.vcpCount, kMaxCapabilityCodes);
    EXPECT_EQ(capabilities.vcp.back().code, 0xBB);
    EXPECT_FALSE(capabilities.vcp.back().listsValues) << "values of a dropped code go nowhere";
    EXPECT_EQ(capabilities.valueCount, 0U);
    EXPECT_TRUE(capabilities.truncated);

    Capabilities& values = parse("vcp(10(" + std::string(2 * kMaxCapabilityCodes + 8, 'c') + "))");
    EXPECT_EQ(values.valueCount, kMaxCapabilityCodes);
    EXPECT_EQ(vcpValues(values, values.vcp[0]).size(), kMaxCapabilityCodes);
    EXPECT_TRUE(values.truncated);
    EXPECT_FALSE(parse("vcp(10)").truncated);
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
