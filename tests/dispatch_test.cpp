// The command line: which words and argument counts run a command, what goes
// to each stream, and the exit statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "harness.h"

namespace {

struct DispatchCase {
    std::vector<std::string> args;
    std::string out;  // "*" for any valid JSON document
    std::string err;
    int status;
};

const char kReadFailed[] = "{\"value\":null,\"error\":\"read_failed\"}\n";

void PrintTo(const DispatchCase& c, std::ostream* os)
{
    *os << "panoctl";
    for (const std::string& arg : c.args) {
        *os << " " << testing::PrintToString(arg);
    }
}

class Dispatch : public testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatch, SelectsByWordAndArgumentCount)
{
    const DispatchCase& c = GetParam();
    RunResult run = runPanoctl("", c.args);
    if (c.out == "*") {
        EXPECT_TRUE(nlohmann::json::accept(run.out)) << run.out;
        EXPECT_EQ(run.out.back(), '\n');
    } else {
        EXPECT_EQ(run.out, c.out);
    }
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, c.status);
}

const char kUsage[] = "usage: panoctl [options] "
                      "<list|get|set|capabilities|features|save|restore|probeaddr|watch|batch|"
                      "config|help|version> ... "
                      "(panoctl help says more)\n";
const char kNoDisplayX[] = "panoctl: no display X (panoctl list shows them)\n";

std::string unknownCommand(const std::string& word, const std::string& meant)
{
    return "panoctl: unknown command: " + word +
           (meant.empty() ? " (panoctl help lists them)" : " (did you mean " + meant + "?)") + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Words, Dispatch,
    testing::Values(
        DispatchCase{{}, "", kUsage, 2}, DispatchCase{{"list"}, "*", "", 0},
        DispatchCase{{"LIST"}, "", unknownCommand("LIST", "list"), 2},
        DispatchCase{{"lst"}, "", unknownCommand("lst", "list"), 2},
        DispatchCase{{"sve"}, "", unknownCommand("sve", "save"), 2},
        DispatchCase{{"wathc"}, "", unknownCommand("wathc", "watch"), 2},
        DispatchCase{{"nonsense"}, "", unknownCommand("nonsense", ""), 2},
        DispatchCase{{"list "}, "", unknownCommand("list ", "list"), 2},
        DispatchCase{{""}, "", unknownCommand("", ""), 2},
        DispatchCase{{"get", "X"}, "", "panoctl: get needs a display and a feature\n", 2},
        DispatchCase{
            {"set", "X", "0x10"}, "", "panoctl: set needs a display, a feature and a value\n", 2},
        DispatchCase{{"capabilities"}, "", "panoctl: capabilities needs a display\n", 2},
        DispatchCase{{"probeaddr"}, "", "panoctl: probeaddr needs a display\n", 2},
        DispatchCase{{"get", "X", "16"}, kReadFailed, kNoDisplayX, 0},
        DispatchCase{{"set", "X", "16", "1"}, "{\"ok\":false}\n", kNoDisplayX, 0},
        DispatchCase{{"capabilities", "X"}, "{\"capabilities\":\"\"}\n", kNoDisplayX, 0},
        DispatchCase{{"probeaddr", "X"}, "{\"error\":\"no_such_display\"}\n", kNoDisplayX, 1},
        DispatchCase{
            {"probeaddr", "X", "0x12"}, "{\"error\":\"no_such_display\"}\n", kNoDisplayX, 1}));

// Words left over once a command is complete were typed for a reason: they
// are refused, never dropped, and nothing reaches a monitor.
INSTANTIATE_TEST_SUITE_P(
    ExtraWords, Dispatch,
    testing::Values(
        DispatchCase{{"list", "extra", "words"}, "", "panoctl: unexpected word: extra\n", 2},
        DispatchCase{{"get", "1", "16", "extra"}, "", "panoctl: unexpected word: extra\n", 2},
        DispatchCase{{"set", "1", "brightness", "50", "%"}, "", "panoctl: unexpected word: %\n", 2},
        DispatchCase{
            {"set", "1", "brightness", "+", "5", "6"}, "", "panoctl: unexpected word: 6\n", 2},
        DispatchCase{{"set", "1", "brightness", "+5", "6"}, "", "panoctl: unexpected word: 6\n", 2},
        DispatchCase{{"capabilities", "1", "2"}, "", "panoctl: unexpected word: 2\n", 2},
        DispatchCase{{"probeaddr", "1", "16", "x"}, "", "panoctl: unexpected word: x\n", 2},
        DispatchCase{{"restore", "1", "a", "b"}, "", "panoctl: unexpected word: b\n", 2},
        DispatchCase{{"watch", "now"}, "", "panoctl: unexpected word: now\n", 2},
        DispatchCase{{"batch", "now"}, "", "panoctl: unexpected word: now\n", 2},
        DispatchCase{{"version", "now"}, "", "panoctl: unexpected word: now\n", 2},
        DispatchCase{{"help", "features", "now"}, "", "panoctl: unexpected word: now\n", 2},
        DispatchCase{{"get", "1", "16", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l",
                      "m", "n", "o", "p"},
                     "",
                     "panoctl: unexpected word: a\n",
                     2}));

// Options stand anywhere before a bare --, and after it every word is an
// argument; a one-word step is no option.
INSTANTIATE_TEST_SUITE_P(
    OptionsAnywhere, Dispatch,
    testing::Values(
        DispatchCase{{"get", "1", "brightness", "--max"}, "{\"value\":60,\"max\":100}\n", "", 0},
        DispatchCase{{"get", "--max", "1", "brightness"}, "{\"value\":60,\"max\":100}\n", "", 0},
        DispatchCase{{"--retries=2", "get", "1", "16"}, "{\"value\":60}\n", "", 0},
        DispatchCase{{"get", "1", "16", "--retries", "2"}, "{\"value\":60}\n", "", 0},
        DispatchCase{{"--", "get", "1", "16"}, "{\"value\":60}\n", "", 0},
        DispatchCase{{"get", "1", "--", "--max"},
                     "",
                     "panoctl: unknown feature: --max (panoctl help features lists them)\n",
                     2},
        DispatchCase{{"set", "1", "brightness", "-5"}, "{\"ok\":true,\"value\":55}\n", "", 0},
        DispatchCase{{"set", "1", "brightness", "-", "10%"}, "{\"ok\":true,\"value\":50}\n", "", 0},
        DispatchCase{
            {"get", "1", "16", "--retries"}, "", "panoctl: missing value for --retries\n", 2},
        DispatchCase{{"--retries", "--max", "get", "1", "16"},
                     "",
                     "panoctl: missing value for --retries\n",
                     2},
        DispatchCase{{"--retries=", "get", "1", "16"}, "", "panoctl: invalid number: \n", 2},
        DispatchCase{
            {"--max=1", "get", "1", "16"}, "", "panoctl: --max takes no value: --max=1\n", 2},
        DispatchCase{{"get", "1", "16", "--maxx"}, "", "panoctl: unknown option: --maxx\n", 2}));

TEST(Dispatch, HelpAnywhereIsHelpAndNoCommandRuns)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "--help"}, {"get", "1", "16", "-h"}, {"--help"}}) {
        RunResult run = runPanoctl("", args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("panoctl " PANOCTL_VERSION "\n", 0), 0U) << run.out;
        EXPECT_TRUE(run.trace.empty());
    }
}

TEST(Dispatch, DiscoveryRunsBeforeTheWordIsJudged)
{
    DebugEnv debug("");
    RunResult unknown = runPanoctl("", {"nonsense"});
    EXPECT_EQ(unknown.err, "[dbg] shim=3 shimWithUUID=3 proxy=2 added=2\n" +
                               unknownCommand("nonsense", "") + kNoTransfers);
    EXPECT_EQ(unknown.out, "");

    RunResult noWord = runPanoctl("", {});
    EXPECT_EQ(noWord.err, kUsage);
}

}  // namespace
