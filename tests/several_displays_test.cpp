// Commands over several displays: `all` or a comma list as the selector, one
// entry per display in the list's order, each display served on its own
// (in a thread of its own, or in turn with --one-at-a-time), a failure on
// one never showing in another's entry, and refused lists sending nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;
using Trace = std::vector<std::string>;

namespace {

struct MonitorPlan {
    std::string key;
    int brightness;
    int max;
    Json extra = Json::object();  // merged into the monitor: faults, bus
};

// One display per monitor, in this order: id "UUID-<key>".
std::string machine(const std::vector<MonitorPlan>& plans)
{
    reg::Children children;
    Json monitors = Json::object();
    for (const MonitorPlan& plan : plans) {
        children.push_back(reg::node("port-" + plan.key, Json::object(),
                                     {reg::proxy(plan.key, {{"EDID UUID", "UUID-" + plan.key}})}));
        Json monitor = reg::monitor(plan.brightness, plan.max);
        monitor.update(plan.extra);
        monitors[plan.key] = std::move(monitor);
    }
    return reg::scenario(children, monitors);
}

// a: 10 of 100, b: 20 of 100, c: 30 of 50.
std::string threeMonitors(Json extraForB = Json::object())
{
    return machine({{"a", 10, 100}, {"b", 20, 100, std::move(extraForB)}, {"c", 30, 50}});
}

std::string head(int position, const std::string& key)
{
    return "{\"display\":" + std::to_string(position) + ",\"id\":\"UUID-" + key + "\"";
}

std::string unknown(const std::string& escapedWord)
{
    return "{\"display\":null,\"id\":\"" + escapedWord + "\",\"error\":\"no_such_display\"}";
}

std::string array(const std::vector<std::string>& entries)
{
    std::string text = "[";
    for (size_t i = 0; i < entries.size(); i++) {
        text += (i == 0 ? "" : ",") + entries[i];
    }
    return text + "]\n";
}

Trace sorted(Trace lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

struct DocumentCase {
    const char* what;
    std::vector<std::string> args;
    std::string out;
    std::vector<std::pair<std::string, int>> brightnessAfter;  // monitor, value
};

void PrintTo(const DocumentCase& c, std::ostream* os)
{
    *os << c.what;
}

class SeveralDisplays : public testing::TestWithParam<DocumentCase> {};

TEST_P(SeveralDisplays, OneEntryPerDisplayInTheListsOrder)
{
    const DocumentCase& c = GetParam();
    for (const char* order : {"", "--one-at-a-time"}) {
        std::vector<std::string> args = c.args;
        if (*order != '\0') {
            args.insert(args.begin(), order);
        }
        RunResult run = runPanoctl(threeMonitors(), args);
        EXPECT_EQ(run.out, c.out) << order;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0);
        for (const auto& [key, value] : c.brightnessAfter) {
            EXPECT_EQ(sim::monitorVcpCurrent(key, 0x10), value) << key << " " << order;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SeveralDisplays,
    testing::Values(
        DocumentCase{"get all",
                     {"get", "all", "brightness"},
                     array({head(1, "a") + ",\"value\":10,\"max\":100}",
                            head(2, "b") + ",\"value\":20,\"max\":100}",
                            head(3, "c") + ",\"value\":30,\"max\":50}"}),
                     {}},
        DocumentCase{"get in the list's order, by position and id",
                     {"get", "3,UUID-a", "16"},
                     array({head(3, "c") + ",\"value\":30,\"max\":50}",
                            head(1, "a") + ",\"value\":10,\"max\":100}"}),
                     {}},
        DocumentCase{"a display named twice is served once, at its first place",
                     {"get", "2,UUID-a,UUID-b,1,2", "16"},
                     array({head(2, "b") + ",\"value\":20,\"max\":100}",
                            head(1, "a") + ",\"value\":10,\"max\":100}"}),
                     {}},
        DocumentCase{"words that name no display keep their place, escaped",
                     {"get", "nope,2,4,we\"ird\\", "16"},
                     array({unknown("nope"), head(2, "b") + ",\"value\":20,\"max\":100}",
                            unknown("4"), unknown("we\\\"ird\\\\")}),
                     {}},
        DocumentCase{"set all",
                     {"set", "all", "brightness", "40"},
                     array({head(1, "a") + ",\"ok\":true}", head(2, "b") + ",\"ok\":true}",
                            head(3, "c") + ",\"ok\":true}"}),
                     {{"a", 40}, {"b", 40}, {"c", 40}}},
        DocumentCase{
            "set leaves displays off the list alone",
            {"set", "1,x,3", "16", "45"},
            array({head(1, "a") + ",\"ok\":true}", unknown("x"), head(3, "c") + ",\"ok\":true}"}),
            {{"a", 45}, {"b", 20}, {"c", 45}}},
        DocumentCase{"a step up is held at each display's own maximum",
                     {"set", "all", "brightness", "+", "25"},
                     array({head(1, "a") + ",\"ok\":true,\"value\":35}",
                            head(2, "b") + ",\"ok\":true,\"value\":45}",
                            head(3, "c") + ",\"ok\":true,\"value\":50}"}),
                     {{"a", 35}, {"b", 45}, {"c", 50}}},
        DocumentCase{"a step down is held at 0",
                     {"set", "3,1,zz", "16", "-", "15"},
                     array({head(3, "c") + ",\"ok\":true,\"value\":15}",
                            head(1, "a") + ",\"ok\":true,\"value\":0}", unknown("zz")}),
                     {{"a", 0}, {"b", 20}, {"c", 15}}},
        DocumentCase{"a percentage of each display's own maximum",
                     {"set", "all", "brightness", "50%"},
                     array({head(1, "a") + ",\"ok\":true,\"value\":50}",
                            head(2, "b") + ",\"ok\":true,\"value\":50}",
                            head(3, "c") + ",\"ok\":true,\"value\":25}"}),
                     {{"a", 50}, {"b", 50}, {"c", 25}}},
        DocumentCase{"a step by a percentage, in one word",
                     {"set", "3,1", "16", "+10%"},
                     array({head(3, "c") + ",\"ok\":true,\"value\":35}",
                            head(1, "a") + ",\"ok\":true,\"value\":20}"}),
                     {{"a", 20}, {"b", 20}, {"c", 35}}},
        DocumentCase{"a step down by a percentage, held at 0",
                     {"set", "all", "16", "-", "20%"},
                     array({head(1, "a") + ",\"ok\":true,\"value\":0}",
                            head(2, "b") + ",\"ok\":true,\"value\":0}",
                            head(3, "c") + ",\"ok\":true,\"value\":20}"}),
                     {{"a", 0}, {"b", 0}, {"c", 20}}},
        DocumentCase{"ids in any letter case",
                     {"get", "uuid-C,Uuid-a", "16"},
                     array({head(3, "c") + ",\"value\":30,\"max\":50}",
                            head(1, "a") + ",\"value\":10,\"max\":100}"}),
                     {}},
        DocumentCase{"--max changes nothing: several displays always show it",
                     {"--max", "get", "2,1", "16"},
                     array({head(2, "b") + ",\"value\":20,\"max\":100}",
                            head(1, "a") + ",\"value\":10,\"max\":100}"}),
                     {}},
        DocumentCase{"a list of one is still a list",
                     {"get", "2,2", "16"},
                     array({head(2, "b") + ",\"value\":20,\"max\":100}"}),
                     {}}));

TEST(SeveralDisplaysSelector, OneDisplayKeepsTheOneDisplayDocuments)
{
    struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"get", "1", "16"}, "{\"value\":10}\n"},
        {{"get", "UUID-c", "16"}, "{\"value\":30}\n"},
        {{"get", "x", "16"}, "{\"value\":null,\"error\":\"read_failed\"}\n"},
        {{"set", "2", "16", "7"}, "{\"ok\":true}\n"},
        {{"set", "3", "16", "+", "5"}, "{\"ok\":true,\"value\":35}\n"},
        {{"set", "nope", "16", "-", "5"}, "{\"ok\":false,\"value\":null}\n"},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl(threeMonitors(), c.args);
        EXPECT_EQ(run.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(run.status, 0);
    }
}

TEST(SeveralDisplaysSelector, AnIdWithACommaIsOneDisplay)
{
    std::string scenario =
        reg::scenario({reg::proxy("m", {{"EDID UUID", "A,B"}})}, {{"m", reg::monitor(33, 100)}});
    RunResult run = runPanoctl(scenario, {"get", "A,B", "16"});
    EXPECT_EQ(run.out, "{\"value\":33}\n");
    RunResult list = runPanoctl(scenario, {"get", "A,B,1", "16"});
    EXPECT_EQ(list.out, array({unknown("A"), unknown("B"),
                               "{\"display\":1,\"id\":\"A,B\",\"value\":33,\"max\":100}"}));
}

TEST(SeveralDisplaysSelector, AllWithoutDisplaysIsAnEmptyArray)
{
    std::string empty = reg::scenario({});
    for (auto args : {std::vector<std::string>{"get", "all", "16"},
                      std::vector<std::string>{"set", "all", "16", "5"},
                      std::vector<std::string>{"set", "all", "16", "+", "5"}}) {
        RunResult run = runPanoctl(empty, args);
        EXPECT_EQ(run.out, "[]\n");
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.trace.empty());
    }
}

TEST(SeveralDisplaysSelector, BadListsAreRefusedBeforeAnythingIsSent)
{
    std::string seventeen = "1";
    for (int i = 0; i < 16; i++) {
        seventeen += ",1";
    }
    std::string longList(4094, 'x');
    longList += ",1";
    struct {
        std::string selector;
        std::string err;
    } cases[] = {
        {"1,,2", "panoctl: empty display in list: 1,,2\n"},
        {"1,", "panoctl: empty display in list: 1,\n"},
        {",1", "panoctl: empty display in list: ,1\n"},
        {",", "panoctl: empty display in list: ,\n"},
        {seventeen, "panoctl: more than 16 displays in list: " + seventeen + "\n"},
        {longList, "panoctl: display list too long: 4096 bytes, at most 4095\n"},
    };
    for (const auto& c : cases) {
        for (auto tail : {std::vector<std::string>{"get", c.selector, "16"},
                          std::vector<std::string>{"set", c.selector, "16", "5"},
                          std::vector<std::string>{"set", c.selector, "16", "-", "5"}}) {
            RunResult run = runPanoctl(threeMonitors(), tail);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, c.err);
            EXPECT_EQ(run.status, 2);
            EXPECT_TRUE(run.trace.empty());
        }
    }
    // Sixteen elements are not too many, nor 4,095 bytes too long.
    std::string sixteen = seventeen.substr(2);
    EXPECT_EQ(runPanoctl(threeMonitors(), {"get", sixteen, "16"}).status, 0);
    EXPECT_EQ(runPanoctl(threeMonitors(), {"get", longList.substr(1), "16"}).status, 0);
    // The other words are checked first, as for one display.
    RunResult run = runPanoctl(threeMonitors(), {"get", "1,,2", "nope"});
    EXPECT_EQ(run.err, "panoctl: unknown feature: nope (panoctl help features lists them)\n");
}

// A failed read on b: its entry alone says so; a and c are read as usual.
TEST(SeveralDisplaysFailures, StayInTheirOwnEntry)
{
    struct {
        const char* what;
        Json faultsOfB;
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {"read",
         {{"failReads", {0}}},
         {"get", "all", "16"},
         array({head(1, "a") + ",\"value\":10,\"max\":100}",
                head(2, "b") + ",\"value\":null,\"max\":null,\"error\":\"read_failed\"}",
                head(3, "c") + ",\"value\":30,\"max\":50}"})},
        {"write",
         {{"failWrites", {0, 1, 2}}},
         {"set", "all", "16", "9"},
         array({head(1, "a") + ",\"ok\":true}", head(2, "b") + ",\"ok\":false}",
                head(3, "c") + ",\"ok\":true}"})},
        {"step's read",
         {{"failReads", {0}}},
         {"set", "all", "16", "+", "1"},
         array({head(1, "a") + ",\"ok\":true,\"value\":11}",
                head(2, "b") + ",\"ok\":false,\"value\":null}",
                head(3, "c") + ",\"ok\":true,\"value\":31}"})},
        {"step's writes",
         {{"failWrites", {2, 3, 4}}},
         {"set", "all", "16", "+", "1"},
         array({head(1, "a") + ",\"ok\":true,\"value\":11}",
                head(2, "b") + ",\"ok\":false,\"value\":21}",
                head(3, "c") + ",\"ok\":true,\"value\":31}"})},
    };
    for (const auto& c : cases) {
        RunResult run = runPanoctl(threeMonitors({{"faults", c.faultsOfB}}), c.args);
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.status, 0) << c.what;
    }
}

// --fail: status 1 when any entry reports a failure or names no display;
// the document is the same as without it.
TEST(SeveralDisplaysFailures, FailOptionCoversEveryEntry)
{
    struct {
        const char* what;
        Json faultsOfB;
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {"all read", Json::object(), {"get", "all", "16"}, 0},
        {"one read failed", {{"failReads", {0}}}, {"get", "all", "16"}, 1},
        {"a word names nothing", Json::object(), {"get", "1,nope", "16"}, 1},
        {"all written", Json::object(), {"set", "all", "16", "5"}, 0},
        {"one write refused", {{"failWrites", {0, 1, 2}}}, {"set", "1,2", "16", "5"}, 1},
        {"the failing display is not in the list",
         {{"failWrites", {0, 1, 2}}},
         {"set", "1,3", "16", "5"},
         0},
        {"one step's read failed", {{"failReads", {0}}}, {"set", "all", "16", "+", "1"}, 1},
        {"one percentage's writes refused",
         {{"failWrites", {2, 3, 4}}},
         {"set", "all", "16", "10%"},
         1},
        // Nothing was done, which --fail does not pass for success.
        {"no displays at all", Json::object(), {"get", "all", "16"}, 1},
    };
    for (const auto& c : cases) {
        std::string scenario = std::string(c.what) == "no displays at all"
                                   ? reg::scenario({})
                                   : threeMonitors({{"faults", c.faultsOfB}});
        RunResult plain = runPanoctl(scenario, c.args);
        std::vector<std::string> failing = c.args;
        failing.insert(failing.begin(), "--fail");
        RunResult withFail = runPanoctl(scenario, failing);
        EXPECT_EQ(plain.status, 0) << c.what;
        EXPECT_EQ(withFail.status, c.status) << c.what;
        EXPECT_EQ(withFail.out, plain.out) << c.what;
    }
}

// Each display's transactions are its own: in turn, the trace is each
// display's run one after the other; at once, the same lines, interleaved.
TEST(SeveralDisplaysTransactions, AreThoseOfEachDisplayAlone)
{
    std::vector<std::vector<std::string>> commands = {
        {"get", "3,1", "16"}, {"set", "3,1", "16", "44"}, {"set", "3,1", "16", "+", "4"}};
    for (const std::vector<std::string>& command : commands) {
        Trace alone;
        for (const char* display : {"3", "1"}) {
            std::vector<std::string> one = command;
            one[1] = display;
            Trace trace = runPanoctl(threeMonitors(), one).trace;
            alone.insert(alone.end(), trace.begin(), trace.end());
        }
        std::vector<std::string> inTurn = command;
        inTurn.insert(inTurn.begin(), "--one-at-a-time");
        EXPECT_EQ(runPanoctl(threeMonitors(), inTurn).trace, alone);
        EXPECT_EQ(sorted(runPanoctl(threeMonitors(), command).trace), sorted(alone));
    }
}

// Flaky buses, slow replies and retries: each monitor draws and waits on
// its own, so running at once gives every display what running in turn does.
TEST(SeveralDisplaysTransactions, FlakyBusesRetryOnTheirOwn)
{
    std::vector<MonitorPlan> plans;
    for (int i = 0; i < 6; i++) {
        Json bus{{"bus", {{"failRate", 0.3}, {"corruptRate", 0.2}, {"seed", 7 * i}}}};
        if (i == 2) {
            bus["bus"]["replyDelay"] = 15000;  // answers only after a retry's longer pause
        }
        plans.push_back({"m" + std::to_string(i), 10 * i, 100, bus});
    }
    for (auto command : {std::vector<std::string>{"get", "all", "16"},
                         std::vector<std::string>{"--verify", "set", "all", "16", "77"},
                         std::vector<std::string>{"set", "6,1,4", "16", "+", "3"}}) {
        command.insert(command.begin(), {"--retries", "4"});
        DebugEnv debug("1");
        RunResult atOnce = runPanoctl(machine(plans), command);
        std::vector<std::string> inTurnArgs = command;
        inTurnArgs.insert(inTurnArgs.begin(), "--one-at-a-time");
        RunResult inTurn = runPanoctl(machine(plans), inTurnArgs);
        EXPECT_EQ(atOnce.out, inTurn.out) << testing::PrintToString(command);
        EXPECT_EQ(atOnce.err, inTurn.err) << "the counters cover every display";
        EXPECT_EQ(sorted(atOnce.trace), sorted(inTurn.trace));
        EXPECT_NE(atOnce.err.find("retries="), std::string::npos);
        EXPECT_EQ(atOnce.err.find("retries=0\n"), std::string::npos) << "nothing was retried";
    }
}

TEST(SeveralDisplaysTransactions, CountersCoverEveryDisplay)
{
    DebugEnv debug("1");
    RunResult get = runPanoctl(threeMonitors(), {"get", "all", "16"});
    EXPECT_EQ(linesOf(get.err).back(), "[dbg] writes=6 reads=3 failed=0 retries=0");
    RunResult set = runPanoctl(threeMonitors({{"faults", {{"failReads", {0}}}}}),
                               {"--retries", "2", "set", "1,2", "16", "+", "1"});
    EXPECT_EQ(linesOf(set.err).back(), "[dbg] writes=12 reads=3 failed=1 retries=1");
}

// A lock folder that cannot be used: each display warns once, whichever
// thread met it, and every display is still served.
TEST(SeveralDisplaysLocks, EachDisplayWarnsOnceAndTheRunGoesOn)
{
    std::string previous = std::getenv("PANOCTL_SIM_LOCKS");
    std::string notAFolder = testing::TempDir() + "panoctl-several-not-a-folder";
    std::FILE* file = std::fopen(notAFolder.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    setenv("PANOCTL_SIM_LOCKS", notAFolder.c_str(), 1);
    RunResult run = runPanoctl(threeMonitors(), {"set", "3,1,2", "16", "+", "1"});
    setenv("PANOCTL_SIM_LOCKS", previous.c_str(), 1);
    std::remove(notAFolder.c_str());
    EXPECT_EQ(run.out, array({head(3, "c") + ",\"ok\":true,\"value\":31}",
                              head(1, "a") + ",\"ok\":true,\"value\":11}",
                              head(2, "b") + ",\"ok\":true,\"value\":21}"}));
    std::string warnings;
    for (const char* key : {"a", "b", "c"}) {
        warnings += std::string("panoctl: cannot lock display UUID-") + key + ": " + notAFolder +
                    " is not a directory\n";
    }
    EXPECT_EQ(run.err, warnings);
}

TEST(SeveralDisplaysBatch, LinesAnswerAsOneShotRuns)
{
    std::vector<std::string> lines = {"get all 16", "set 2,1 16 + 5", "set all 16 8", "get 1,,2 16",
                                      "--one-at-a-time get 3,nope 16"};
    std::string input;
    std::string expected;
    for (const std::string& line : lines) {
        input += line + "\n";
    }
    RunResult batch = runPanoctlWithInput(threeMonitors(), {"batch"}, input);
    std::vector<std::string> answers = linesOf(batch.out);
    ASSERT_EQ(answers.size(), lines.size());
    EXPECT_EQ(answers[0] + "\n", array({head(1, "a") + ",\"value\":10,\"max\":100}",
                                        head(2, "b") + ",\"value\":20,\"max\":100}",
                                        head(3, "c") + ",\"value\":30,\"max\":50}"}));
    EXPECT_EQ(answers[1] + "\n", array({head(2, "b") + ",\"ok\":true,\"value\":25}",
                                        head(1, "a") + ",\"ok\":true,\"value\":15}"}));
    EXPECT_EQ(answers[3],
              "{\"error\":\"usage\",\"message\":\"panoctl: empty display in list: 1,,2\"}");
    EXPECT_EQ(answers[4] + "\n",
              array({head(3, "c") + ",\"value\":8,\"max\":50}", unknown("nope")}));
    EXPECT_EQ(batch.status, 0);
}

}  // namespace
