// The words a person types: displays by position, features and values by
// name, help and version. Whatever is not understood is refused before
// anything goes to a monitor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;

namespace {

const std::string kTwin = "7E57ED00-0000-4000-8000-000000000002";
const char kUsage[] = "usage: panoctl [options] "
                      "<list|get|set|capabilities|features|save|restore|probeaddr|watch|batch|"
                      "config|help|version> ... "
                      "(panoctl help says more)\n";

// Two identical monitors that share one EDID UUID, at brightness 10 and 20.
std::string identicalTwins()
{
    return reg::scenario(
        {reg::panel(kTwin, "Twin"), reg::proxy("a"), reg::panel(kTwin, "Twin"), reg::proxy("b")},
        {{"a", reg::monitor(10, 100)}, {"b", reg::monitor(20, 100)}});
}

TEST(Positions, ReachIdenticalMonitorsThatAnIdCannotTellApart)
{
    std::string twins = identicalTwins();
    EXPECT_EQ(runPanoctl(twins, {"get", "1", "0x10"}).out, "{\"value\":10}\n");
    EXPECT_EQ(runPanoctl(twins, {"get", "2", "brightness"}).out, "{\"value\":20}\n");
    EXPECT_EQ(runPanoctl(twins, {"get", kTwin, "0x10"}).out, "{\"value\":10}\n");
    runPanoctl(twins, {"set", "2", "brightness", "77"});
    EXPECT_EQ(sim::monitorVcpCurrent("b", 0x10), 77);
    EXPECT_EQ(sim::monitorVcpCurrent("a", 0x10), 10);
}

TEST(Positions, ThatNameNoDisplayAnswerAsAnUnknownId)
{
    for (const char* selector :
         {"0", "01", "+1", "-1", "3", "17", "1 ", " 1", "1x", "", "99999999999999999999"}) {
        RunResult get = runPanoctl(identicalTwins(), {"get", selector, "0x10"});
        EXPECT_EQ(get.out, "{\"value\":null,\"error\":\"read_failed\"}\n") << selector;
        EXPECT_TRUE(get.trace.empty()) << selector;
        RunResult probe = runPanoctl(identicalTwins(), {"probeaddr", selector});
        EXPECT_EQ(probe.out, "{\"error\":\"no_such_display\"}\n") << selector;
        EXPECT_EQ(probe.status, 1);
        EXPECT_EQ(runPanoctl(identicalTwins(), {"capabilities", selector}).out,
                  "{\"capabilities\":\"\"}\n");
        EXPECT_EQ(runPanoctl(identicalTwins(), {"set", selector, "16", "1"}).out,
                  "{\"ok\":false}\n");
    }
}

struct NamedWords {
    std::vector<std::string> args;
    std::string write;  // the Set VCP Feature message as traced
};

void PrintTo(const NamedWords& c, std::ostream* os)
{
    *os << testing::PrintToString(c.args);
}

class Names : public testing::TestWithParam<NamedWords> {};

TEST_P(Names, WriteWhatTheirNumbersWould)
{
    RunResult run = runPanoctl("", GetParam().args);
    EXPECT_EQ(run.out, "{\"ok\":true}\n");
    ASSERT_EQ(run.trace.size(), 6U);
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 " + GetParam().write + " -> 0");
}

INSTANTIATE_TEST_SUITE_P(
    FeaturesAndValues, Names,
    testing::Values(NamedWords{{"set", "1", "brightness", "70"}, "84 03 10 00 46 ee"},
                    NamedWords{{"set", "1", "contrast", "0x10"}, "84 03 12 00 10 ba"},
                    NamedWords{{"set", "1", "input", "hdmi-2"}, "84 03 60 00 12 ca"},
                    NamedWords{{"set", "1", "0x60", "displayport-1"}, "84 03 60 00 0f d7"},
                    NamedWords{{"set", "1", "96", "VGA-1"}, "84 03 60 00 01 d9"},
                    NamedWords{{"set", "1", "Input", "HDMI-1"}, "84 03 60 00 11 c9"},
                    NamedWords{{"set", "1", "BRIGHTNESS", "70"}, "84 03 10 00 46 ee"},
                    NamedWords{{"set", "1", "color-preset", "6500K"}, "84 03 14 00 05 a9"},
                    NamedWords{{"set", "1", "power", "standby"}, "84 03 d6 00 02 6c"},
                    NamedWords{{"set", "1", "power", "off"}, "84 03 d6 00 04 6a"},
                    NamedWords{{"set", "1", "mute", "off"}, "84 03 8d 00 02 37"},
                    NamedWords{{"set", "1", "0x8D", "on"}, "84 03 8d 00 01 34"}));

TEST(Names, UnknownOnesAreRefusedWithTheNameProbablyMeant)
{
    const std::string lists = " (panoctl help features lists them)";
    struct {
        std::vector<std::string> args;
        std::string refused;
    } cases[] = {
        {{"get", "1", "brigtness"}, "unknown feature: brigtness (did you mean brightness?)"},
        {{"get", "1", "brightness "}, "unknown feature: brightness  (did you mean brightness?)"},
        {{"get", "1", "Contarst"}, "unknown feature: Contarst (did you mean contrast?)"},
        {{"get", "1", "bright"}, "unknown feature: bright" + lists},
        {{"probeaddr", "1", "volume-"}, "unknown feature: volume- (did you mean volume?)"},
        {{"set", "1", "input", "HDMI1"}, "unknown value for input: HDMI1 (did you mean hdmi-1?)"},
        {{"set", "1", "input", "dp1"}, "unknown value for input: dp1" + lists},
        {{"set", "1", "mute", "standby"}, "unknown value for mute: standby" + lists},
        // A code whose values are levels has no names: a word is no number.
        {{"set", "1", "brightness", "hdmi1"}, "invalid number: hdmi1"},
        {{"set", "1", "0x61", "hdmi1"}, "invalid number: hdmi1"},
        // Nor do steps and percentages mean anything for a choice.
        {{"set", "1", "input", "+1"}, "input takes a value, not a step"},
        {{"set", "1", "power", "-", "1"}, "power takes a value, not a step"},
        {{"set", "1", "0x14", "50%"}, "color-preset takes a value, not a percentage"},
        {{"set", "1", "mute", "+10%"}, "mute takes a value, not a step"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl("", c.args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "panoctl: " + c.refused + "\n");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.trace.empty());
    }
}

TEST(HelpAndVersion, PrintWithoutDiscovery)
{
    DebugEnv debug("1");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"help"}, {"--help"}, {"-h"}, {"-h", "list"}, {"list", "-h"}}) {
        RunResult run = runPanoctl("", args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "") << "no discovery, so no debug line";
        EXPECT_EQ(
            run.out.rfind("panoctl " PANOCTL_VERSION "\n\nusage: panoctl [options] <command>", 0),
            0U);
        // The tables' words reach the text.
        for (const char* word : {"features <display>", "save <display> [file]", "batch", "watch",
                                 "--version", "--retries N", "--verify", "man panoctl", "--fail",
                                 "--max", "10 is decimal ten", "+<p>%", "help features"}) {
            EXPECT_NE(run.out.find(word), std::string::npos) << word;
        }
    }
    RunResult features = runPanoctl("", {"help", "features"});
    EXPECT_EQ(features.status, 0);
    for (const char* word : {"color-preset", "hdmi-2=18", "standby=2", "restore-factory-defaults",
                             "display-usage-time", "action"}) {
        EXPECT_NE(features.out.find(word), std::string::npos) << word;
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"version"}, {"--version"}, {"x", "--version"}}) {
        RunResult run = runPanoctl("", args);
        EXPECT_EQ(run.out, "panoctl " PANOCTL_VERSION "\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0);
    }
}

TEST(HelpAndVersion, LeaveTheOtherWordsAsTheyWere)
{
    struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{}, kUsage},
        {{"--Help"}, "panoctl: unknown option: --Help\n"},
        {{"-help"}, "panoctl: unknown command: -help (did you mean help?)\n"},
        {{"HELP"}, "panoctl: unknown command: HELP (did you mean help?)\n"},
        {{"features"}, "panoctl: features needs a display\n"},
        {{"help", "extra"},
         "panoctl: unknown help topic: extra (panoctl help features lists the feature and value "
         "names)\n"},
        {{"help", "features", "extra"}, "panoctl: unexpected word: extra\n"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl("", c.args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, 2);
    }
}

}  // namespace
