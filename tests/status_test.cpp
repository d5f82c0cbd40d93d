// What a caller reads besides the value: `--fail` turns a document that
// reports a failure into status 1, `--max` adds the maximum to `get`, and ids
// name their display whatever the letter case they are written in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

namespace {

const std::string kId = "ABCDEF01-0000-4000-8000-0000000000AA";

// One monitor at brightness 40 of 80 with a capabilities string, and one that
// answers but sends no capabilities string and has no contrast.
std::string machine()
{
    reg::Json monitor = reg::monitor(40, 80, "(prot(monitor)type(LCD)vcp(10 12))");
    monitor["vcp"]["0x12"] = {{"current", 7}, {"max", 9}};
    return reg::scenario({reg::proxy("a", {{"EDID UUID", kId}}),
                          reg::proxy("b", {{"EDID UUID", "ABCDEF01-0000-4000-8000-0000000000BB"}})},
                         {{"a", monitor}, {"b", reg::monitor(3, 4)}});
}

struct FailCase {
    std::vector<std::string> args;  // after the options
    std::string out;
    int status;  // without --fail; with it, a failure document gives 1
    bool failed;
};

void PrintTo(const FailCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.args);
}

class Fail : public testing::TestWithParam<FailCase> {};

TEST_P(Fail, ChangesOnlyTheStatusOfAFailureDocument)
{
    const FailCase& c = GetParam();
    RunResult plain = runPanoctl(machine(), c.args);
    EXPECT_EQ(plain.out, c.out);
    EXPECT_EQ(plain.status, c.status);

    std::vector<std::string> args{"--fail"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult failing = runPanoctl(machine(), args);
    EXPECT_EQ(failing.out, c.out) << "the same document";
    EXPECT_EQ(failing.trace, plain.trace) << "the same traffic";
    EXPECT_EQ(failing.status, c.failed ? 1 : c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, Fail,
    testing::Values(
        FailCase{{"get", "1", "brightness"}, "{\"value\":40}\n", 0, false},
        FailCase{
            {"get", "9", "brightness"}, "{\"value\":null,\"error\":\"read_failed\"}\n", 0, true},
        FailCase{{"get", "2", "contrast"}, "{\"value\":null,\"error\":\"unsupported\"}\n", 0, true},
        FailCase{{"set", "1", "brightness", "20"}, "{\"ok\":true}\n", 0, false},
        FailCase{{"set", "9", "brightness", "20"}, "{\"ok\":false}\n", 0, true},
        FailCase{{"set", "1", "brightness", "+5"}, "{\"ok\":true,\"value\":45}\n", 0, false},
        FailCase{{"set", "2", "contrast", "-5"}, "{\"ok\":false,\"value\":null}\n", 0, true},
        FailCase{{"set", "2", "contrast", "50%"}, "{\"ok\":false,\"value\":null}\n", 0, true},
        FailCase{{"capabilities", "2"}, "{\"capabilities\":\"\"}\n", 0, true},
        FailCase{{"features", "2"}, "{\"error\":\"no_capabilities\"}\n", 0, true},
        FailCase{{"features", "9"}, "{\"error\":\"no_such_display\"}\n", 1, true},
        FailCase{{"probeaddr", "9"}, "{\"error\":\"no_such_display\"}\n", 1, true}));

TEST(Fail, LeavesListAndRefusalsAlone)
{
    RunResult list = runPanoctl(machine(), {"--fail", "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.front(), '[');
    RunResult refused = runPanoctl(machine(), {"--fail", "get", "1", "+16"});
    EXPECT_EQ(refused.err, "panoctl: unknown feature: +16 (panoctl help features lists them)\n");
    EXPECT_EQ(refused.status, 2);
}

TEST(Fail, ASelectorThatNamesNoDisplayAtAllFails)
{
    std::string none = reg::scenario({}, reg::Json::object());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"get", "all", "16"}, {"set", "all", "16", "5"}, {"set", "all", "16", "+5"}}) {
        std::vector<std::string> failing{"--fail"};
        failing.insert(failing.end(), args.begin(), args.end());
        RunResult run = runPanoctl(none, failing);
        EXPECT_EQ(run.out, "[]\n");
        EXPECT_EQ(run.status, 1) << "nothing was done";
        EXPECT_EQ(runPanoctl(none, args).status, 0);
    }
}

TEST(Fail, InBatchGivesStatusOneWhenALineItCoversFailed)
{
    struct {
        std::vector<std::string> args;
        std::string input;
        int status;
    } cases[] = {
        {{"batch"}, "get 9 16\nset 9 16 1\n", 0},
        {{"--fail", "batch"}, "get 1 16\nlist\n", 0},
        {{"--fail", "batch"}, "get 9 16\nget 1 16\n", 1},
        {{"--fail", "batch"}, "get 1 nonsense\n", 1},
        {{"--fail", "batch"}, "help\n", 1},
        {{"batch"}, "--fail get 9 16\nget 1 16\n", 1},
        {{"batch"}, "get 9 16\n--fail get 1 16\n", 0},
        {{"batch"}, "--fail capabilities 2\n", 1},
        {{"batch"}, "--fail set 1 16 +\n", 1},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctlWithInput(machine(), c.args, c.input);
        EXPECT_EQ(run.status, c.status) << testing::PrintToString(c.args) << c.input;
        EXPECT_EQ(run.err, "");
    }
    // The answers are the same with and without it.
    std::string lines = "get 9 16\nget 1 16\nset 9 16 4\ncapabilities 2\nget 1 x\n";
    EXPECT_EQ(runPanoctlWithInput(machine(), {"--fail", "batch"}, lines).out,
              runPanoctlWithInput(machine(), {"batch"}, lines).out);
}

TEST(Max, AddsTheMaximumToGet)
{
    struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"--max", "get", "1", "brightness"}, "{\"value\":40,\"max\":80}\n"},
        {{"--max", "get", "1", "0x12"}, "{\"value\":7,\"max\":9}\n"},
        {{"--max", "get", "2", "0x12"},
         "{\"value\":null,\"max\":null,\"error\":\"unsupported\"}\n"},
        {{"--max", "get", "9", "0x10"},
         "{\"value\":null,\"max\":null,\"error\":\"read_failed\"}\n"},
        {{"--max", "--fail", "get", "1", "16"}, "{\"value\":40,\"max\":80}\n"},
        // Only get prints it, wherever the option stands.
        {{"--max", "set", "1", "16", "+5"}, "{\"ok\":true,\"value\":45}\n"},
        {{"get", "1", "16", "--max"}, "{\"value\":40,\"max\":80}\n"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl(machine(), c.args);
        EXPECT_EQ(run.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(run.status, 0);
    }
    // The same get transaction as without it.
    EXPECT_EQ(runPanoctl(machine(), {"--max", "get", "1", "16"}).trace,
              runPanoctl(machine(), {"get", "1", "16"}).trace);
    RunResult batch =
        runPanoctlWithInput(machine(), {"batch"}, "--max get 1 16\nget 1 16\nset 1 16 25%\n");
    EXPECT_EQ(batch.out, "{\"value\":40,\"max\":80}\n{\"value\":40}\n{\"ok\":true,\"value\":20}\n");
}

// Two ids that differ only in case, then one that no other resembles.
std::string caseTwins()
{
    auto display = [](const char* id, const char* monitor) {
        return reg::proxy(monitor, {{"EDID UUID", id}, {"ProductName", monitor}});
    };
    return reg::scenario(
        {display("aaaa-bbbb-01", "lower"), display("AAAA-BBBB-01", "upper"),
         display("C0FFEE-Dd", "mixed")},
        {{"lower", reg::monitor(1)}, {"upper", reg::monitor(2)}, {"mixed", reg::monitor(3)}});
}

TEST(Ids, MatchInAnyLetterCaseWhenNoneMatchesExactly)
{
    struct {
        const char* selector;
        std::string out;
    } cases[] = {
        {"aaaa-bbbb-01", "{\"value\":1}\n"},  // exact match wins
        {"AAAA-BBBB-01", "{\"value\":2}\n"},
        {"Aaaa-Bbbb-01", "{\"value\":1}\n"},  // else the first in list order
        {"c0ffee-dd", "{\"value\":3}\n"},
        {"C0FFEE-DD", "{\"value\":3}\n"},
        {"C0FFEE-Dd", "{\"value\":3}\n"},
        {"C0FFEE-D", "{\"value\":null,\"error\":\"read_failed\"}\n"},
        {"C0FFEE-Dd ", "{\"value\":null,\"error\":\"read_failed\"}\n"},
        {"3", "{\"value\":3}\n"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl(caseTwins(), {"get", c.selector, "16"});
        EXPECT_EQ(run.out, c.out) << c.selector;
    }
    runPanoctl(caseTwins(), {"set", "c0ffee-dd", "16", "9"});
    EXPECT_EQ(sim::monitorVcpCurrent("mixed", 0x10), 9);
    EXPECT_EQ(runPanoctl(caseTwins(), {"probeaddr", "c0ffee-dd"}).status, 0);
}

}  // namespace
