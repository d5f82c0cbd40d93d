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
const char kUsage[] = "usage: panoctl <list|get|set|capabilities> ...\n";

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
                    NamedWords{{"set", "1", "input", "hdmi2"}, "84 03 60 00 12 ca"},
                    NamedWords{{"set", "1", "0x60", "dp1"}, "84 03 60 00 0f d7"},
                    NamedWords{{"set", "1", "96", "vga1"}, "84 03 60 00 01 d9"},
                    NamedWords{{"set", "1", "power", "standby"}, "84 03 d6 00 02 6c"},
                    NamedWords{{"set", "1", "power", "off"}, "84 03 d6 00 04 6a"},
                    NamedWords{{"set", "1", "mute", "off"}, "84 03 8d 00 02 37"},
                    NamedWords{{"set", "1", "0x8D", "on"}, "84 03 8d 00 01 34"}));

TEST(Names, AreRefusedInOtherCasesOrForOtherCodes)
{
    struct {
        std::vector<std::string> args;
        const char* refused;
    } cases[] = {
        {{"get", "1", "Brightness"}, "Brightness"}, {{"get", "1", "brightness "}, "brightness "},
        {{"get", "1", "bright"}, "bright"},         {{"set", "1", "brightness", "hdmi1"}, "hdmi1"},
        {{"set", "1", "input", "HDMI1"}, "HDMI1"},  {{"set", "1", "mute", "standby"}, "standby"},
        {{"set", "1", "0x61", "hdmi1"}, "hdmi1"},   {{"probeaddr", "1", "volume-"}, "volume-"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl("", c.args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, std::string("invalid number: ") + c.refused + "\n");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.trace.empty());
    }
}

TEST(HelpAndVersion, PrintWithoutDiscovery)
{
    DebugEnv debug("1");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"help"}, {"--help"}, {"-h"}, {"-h", "list"}, {"help", "extra"}}) {
        RunResult run = runPanoctl("", args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "") << "no discovery, so no debug line";
        EXPECT_EQ(run.out.rfind("usage: panoctl [options] <command>", 0), 0U);
        // The table's names reach the text.
        for (const char* word : {"features <display>", "color-preset", "hdmi2=18", "standby=2",
                                 "--version", "--retries N", "--verify", "man panoctl", "--fail",
                                 "--max", "10 is decimal ten", "+<p>%"}) {
            EXPECT_NE(run.out.find(word), std::string::npos) << word;
        }
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"version"}, {"--version"}, {"--version", "x"}}) {
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
        {{"--Help"}, "unknown option: --Help\n"},
        {{"-help"}, "unknown command or missing args\n"},
        {{"HELP"}, "unknown command or missing args\n"},
        {{"features"}, "unknown command or missing args\n"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl("", c.args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, 2);
    }
    RunResult listed = runPanoctl("", {"list", "--help"});
    EXPECT_EQ(listed.out.front(), '[');
}

}  // namespace
