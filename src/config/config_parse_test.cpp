// The configuration's rules: each mistake a person can make is refused
// with the place in the file and what is wrong, and what is accepted lands
// in the tables as written.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "config/config_lookup.h"

namespace {

constexpr std::array<std::string_view, 3> kWords{"list", "get", "set"};

struct Refused {
    const char* name;
    const char* text;
    uint32_t line;
    uint32_t column;
    const char* what;
};

void PrintTo(const Refused& refused, std::ostream* out)
{
    *out << refused.name;
}

class ConfigRefused : public testing::TestWithParam<Refused> {};

TEST_P(ConfigRefused, WithItsPlaceAndReason)
{
    const Refused& c = GetParam();
    Configuration config;
    ConfigError error;
    ASSERT_FALSE(parseConfigText(c.text, kWords, &config, &error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.column, c.column);
    EXPECT_STREQ(error.what.data(), c.what);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ConfigRefused,
    testing::Values(
        Refused{"not TOML", "[display.left\n", 1, 14,
                "Error while parsing table header: expected ']', saw '\\n'"},
        // toml++ 3.3.0 asserts here; its own error is what is reported.
        Refused{"a table header that is a comment", "[#", 1, 2,
                "Error while parsing key: expected bare key starting character or string "
                "delimiter, saw '#'"},
        // toml++ 3.3.0 reaches __builtin_unreachable asking whether some
        // characters are white space, wherever its parser is led to ask:
        // those are refused anywhere, even in a comment or a string.
        Refused{"a character the parser cannot classify, in a comment",
                "a = 1 # \xc3\xa9"
                "cran\n",
                1, 9, "U+00E9, a character the configuration reader cannot take"},
        Refused{"one in a string, led there by a quote in a bare value",
                "_=1=e-Z.'ZZ\xef\xb3\xbfZ~ZZ", 1, 12,
                "U+FCFF, a character the configuration reader cannot take"},
        Refused{"one after a line-ending backslash", "a = \"\"\"x\\\n\n  \xe3\x80\x81\"\"\"\n", 3,
                3, "U+3001, a character the configuration reader cannot take"},
        // Other text that is not ASCII is refused outside strings and
        // comments, where the parser would ask the same question.
        Refused{"a character that is not ASCII where a key goes", "a = 1\n\xe7\x94\xbb = 2\n", 2, 1,
                "a character that is not ASCII outside a string or comment"},
        Refused{"one after a quote in a bare value",
                "id = 721\"5-E\xe7\x94\xbb"
                "3\"\n",
                1, 13, "a character that is not ASCII outside a string or comment"},
        Refused{"one after a backslash", "a = \"x\\\xe7\x94\xbb\"\n", 1, 8,
                "a character that is not ASCII after a backslash"},
        Refused{"an unknown section", "[displays.left]\nid = \"A\"\n", 1, 2,
                "unknown key: displays"},
        Refused{"a typo in a display",
                "[display.left]\nid = \"A\"\nbrigtness = { min = 1, max = 2 }\n", 3, 1,
                "unknown key: brigtness"},
        Refused{"a typo in a calibration",
                "[display.left]\nid = \"A\"\nbrightness = { min = 1, mx = 2 }\n", 3, 25,
                "unknown key: mx"},
        Refused{"the same alias in another case",
                "[display.left]\nid = \"A\"\n[display.LEFT]\nid = \"B\"\n", 3, 10,
                "alias named twice: LEFT"},
        Refused{"an alias that is a command word", "[display.Get]\nid = \"A\"\n", 1, 10,
                "alias may not be a command word, all, a position or hold a comma: Get"},
        Refused{"an alias that is all", "[display.ALL]\nid = \"A\"\n", 1, 10,
                "alias may not be a command word, all, a position or hold a comma: ALL"},
        Refused{"an alias that is a position", "[display.2]\nid = \"A\"\n", 1, 10,
                "alias may not be a command word, all, a position or hold a comma: 2"},
        Refused{"a group named as an alias",
                "[display.left]\nid = \"A\"\n[group]\nleft = [\"left\"]\n", 4, 1,
                "group named twice: left"},
        Refused{"a group of an unknown alias",
                "[display.left]\nid = \"A\"\n[group]\ndesk = [\"left\", \"rigth\"]\n", 4, 17,
                "unknown alias: rigth"},
        Refused{"min at max", "[display.left]\nid = \"A\"\nbrightness = { min = 80, max = 80 }\n",
                3, 14, "min 80 must be below max 80"},
        Refused{"a calibration of a choice",
                "[display.left]\nid = \"A\"\ninput = { min = 1, max = 2 }\n", 3, 1,
                "input is not continuous: only levels are calibrated"},
        Refused{"a value over 65535",
                "[display.left]\nid = \"A\"\nbrightness = { min = 0, max = 65536 }\n", 3, 31,
                "max out of range: 65536 (0 to 65535)"},
        Refused{"a display named by model alone", "[display.left]\nmodel = \"T27Q\"\n", 1, 10,
                "display left needs id, serial, or model and serial"},
        Refused{"a code over 255", "[feature.kvm]\ncode = 256\ntype = \"action\"\n", 2, 8,
                "code out of range: 256 (0 to 255)"},
        Refused{"a feature of an unknown type", "[feature.kvm]\ncode = 0xF1\ntype = \"switch\"\n",
                3, 8, "type must be continuous, non-continuous or action"},
        Refused{"a restorable input",
                "[feature.source]\ncode = 0x60\ntype = \"non-continuous\"\nrestorable = true\n", 4,
                14, "restorable: 0x60 cannot be restored (input, power and actions never are)"},
        Refused{"a restorable action",
                "[feature.kvm-reset]\ncode = 0xF2\ntype = \"action\"\nrestorable = true\n", 4, 14,
                "restorable: 0xF2 cannot be restored (input, power and actions never are)"},
        Refused{"a pause factor below 1", "[quirk.slow]\npause-factor = 0.9\n", 2, 16,
                "pause-factor out of range: 0.9 (1.0 to 5.0)"},
        Refused{"a pause factor above 5", "[quirk.slow]\npause-factor = 6\n", 2, 16,
                "pause-factor out of range: 6 (1.0 to 5.0)"},
        Refused{"a quirk for an unknown feature",
                "[quirk.odd]\nfeature = \"brightnes\"\ncode = 0xF0\n", 2, 11,
                "unknown feature: brightnes"},
        Refused{"a display naming an unknown quirk",
                "[display.left]\nid = \"A\"\nquirks = [\"lg-inputs\"]\n", 3, 11,
                "unknown quirk: lg-inputs"}));

TEST(Config, TablesHoldWhatTheFileSaysInItsOrder)
{
    const char* text = R"(
[feature.kvm]
code = 0xF1
type = "non-continuous"
values = { pc = 1, laptop = 2 }
restorable = true

[display.zeta]
serial = "01A4C3E5"
model = "Tessaro T27Q"
brightness = { min = 10, max = 80 }

[display.alpha]
id = "458E2032-0000-0000-0A1F-0104B5462778"
quirks = ["lg-input"]

[group]
desk = ["zeta", "Alpha"]
)";
    Configuration config;
    ConfigError error;
    ASSERT_TRUE(parseConfigText(text, kWords, &config, &error)) << error.what.data();
    ASSERT_EQ(config.displayCount, 2U);
    EXPECT_STREQ(config.displays[0].alias.data(), "zeta");  // the file's order, not sorted
    EXPECT_STREQ(config.features[0].values[0].name.data(), "pc");
    ASSERT_EQ(config.groupCount, 1U);
    EXPECT_EQ(config.groups[0].members[1], 1U);

    DisplayKey zeta{"ANY", "01a4c3e5", "TESSARO t27q"};
    const Calibration* range = calibrationOf(config, zeta, 0x10);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->min, 10);
    EXPECT_EQ(range->max, 80);
    EXPECT_EQ(aliasOf(config, DisplayKey{"ANY", "01A4C3E5", "Other"}), nullptr);

    DisplayKey alpha{"458e2032-0000-0000-0a1f-0104b5462778", "", "Quillon Q32"};
    AppliedQuirks quirks = quirksOf(config, alpha);
    ASSERT_EQ(quirks.count, 1U);
    const Quirk* input = quirkForFeature(quirks, 0x60);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->code, 0xF4);
    EXPECT_EQ(input->sourceAddress, 0x50);
    EXPECT_EQ(configFeatureCode(config, "KVM"), 0xF1);
}

TEST(Config, TextThatIsNotAsciiIsTakenInStringsAndComments)
{
    Configuration config;
    ConfigError error;
    const char* text = "# \xe7\x94\xbb"
                       "cran\n[display.\"\xe7\x94\xbb"
                       "cran\"] # gauche\nid = \"A\" # \xe2\x80\x94\n"
                       "[quirk.q]\ncapabilities = '''(model(\xe7\x94\xbb"
                       "))'''\n";
    ASSERT_TRUE(parseConfigText(text, kWords, &config, &error)) << error.what.data();
    EXPECT_STREQ(config.displays[0].alias.data(), "\xe7\x94\xbb"
                                                  "cran");
}

TEST(Config, AFileQuirkExtendsTheBuiltInOneOfItsName)
{
    Configuration config;
    ConfigError error;
    ASSERT_TRUE(parseConfigText("[quirk.lg-input]\nmodel = \"LG HDR 4K\"\npause-factor = 1.1\n",
                                kWords, &config, &error))
        << error.what.data();
    AppliedQuirks quirks = quirksOf(config, DisplayKey{"X", "", "lg hdr 4k"});
    ASSERT_EQ(quirks.count, 1U);
    EXPECT_EQ(quirks.quirks[0]->code, 0xF4);
    EXPECT_EQ(quirks.quirks[0]->pausePermille, 1100);
    EXPECT_EQ(quirksOf(config, DisplayKey{"X", "", "Other"}).count, 0U);
}

}  // namespace
