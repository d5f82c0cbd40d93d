// Relative steps, `set <display> <vcp> + <n>` and `- <n>` (or `+<n>`, `-<n>`),
// and percentages of the maximum, `<p>%`, `+<p>%` and `-<p>%`: one get
// transaction, then one set transaction of the value held between 0 and the
// monitor's maximum; nothing written when the read fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;
using Trace = std::vector<std::string>;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-0000000057E9";
const std::string kPause = "sleep 10000";

// One display; brightness 50 of 100, contrast 1200 of 4000, red gain 1 of 3
// (where a percentage falls between two values).
std::string machine(Json faults = Json::object())
{
    Json monitor = reg::monitor(50, 100);
    monitor["vcp"]["0x12"] = {{"current", 1200}, {"max", 4000}};
    monitor["vcp"]["0x16"] = {{"current", 1}, {"max", 3}};
    if (!faults.empty()) {
        monitor["faults"] = std::move(faults);
    }
    return reg::scenario({reg::panel(kId, "Step"), reg::proxy("m")}, {{"m", std::move(monitor)}});
}

std::string setMessage(int vcp, int value)
{
    int bytes[] = {0x84, 0x03, vcp, value >> 8, value & 0xFF};
    int checksum = 0x6E ^ 0x51;
    std::string line = "write 0x37 0x51";
    for (int byte : bytes) {
        checksum ^= byte;
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        line += hex;
    }
    char tail[12];
    std::snprintf(tail, sizeof tail, " %02x -> 0", checksum);
    return line + tail;
}

struct StepCase {
    std::vector<std::string> words;  // after the display
    int vcp;
    int written;
};

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.words);
}

class Step : public testing::TestWithParam<StepCase> {};

TEST_P(Step, ReadsOnceThenWritesTheHeldValue)
{
    const StepCase& c = GetParam();
    std::vector<std::string> args{"set", kId};
    args.insert(args.end(), c.words.begin(), c.words.end());
    RunResult run = runPanoctl(machine(), args);
    EXPECT_EQ(run.out, "{\"ok\":true,\"value\":" + std::to_string(c.written) + "}\n");
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.trace.size(), 12U);
    // The get transaction: two requests and a read, each after a pause.
    EXPECT_EQ(run.trace[1].rfind("write 0x37 0x51 82 01", 0), 0U);
    EXPECT_EQ(run.trace[5].rfind("read 0x37 0x51 12 -> 0", 0), 0U);
    std::string write = setMessage(c.vcp, c.written);
    EXPECT_EQ(Trace(run.trace.begin() + 6, run.trace.end()),
              (Trace{kPause, write, kPause, write, kPause, write}));
    EXPECT_EQ(sim::monitorVcpCurrent("m", c.vcp), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Step,
    testing::Values(
        StepCase{{"0x10", "+", "5"}, 0x10, 55}, StepCase{{"brightness", "-", "0x14"}, 0x10, 30},
        StepCase{{"brightness", "+", "0"}, 0x10, 50},
        StepCase{{"brightness", "+", "50"}, 0x10, 100},
        StepCase{{"brightness", "+", "51"}, 0x10, 100},
        StepCase{{"brightness", "+", "65535"}, 0x10, 100},
        StepCase{{"brightness", "-", "50"}, 0x10, 0}, StepCase{{"16", "-", "65535"}, 0x10, 0},
        StepCase{{"contrast", "+", "2800"}, 0x12, 4000},
        StepCase{{"contrast", "-", "1199"}, 0x12, 1},
        StepCase{{"contrast", "+", "300"}, 0x12, 1500},
        // One word: the sign and its amount.
        StepCase{{"0x10", "+5"}, 0x10, 55}, StepCase{{"brightness", "-0x14"}, 0x10, 30},
        StepCase{{"brightness", "+0x8"}, 0x10, 58}, StepCase{{"brightness", "-0"}, 0x10, 50},
        StepCase{{"brightness", "+65535"}, 0x10, 100}, StepCase{{"contrast", "-1201"}, 0x12, 0},
        // Percentages of the maximum.
        StepCase{{"contrast", "33%"}, 0x12, 1320}, StepCase{{"contrast", "0%"}, 0x12, 0},
        StepCase{{"contrast", "100%"}, 0x12, 4000}, StepCase{{"contrast", "0x0A%"}, 0x12, 400},
        StepCase{{"contrast", "+10%"}, 0x12, 1600}, StepCase{{"contrast", "-", "10%"}, 0x12, 800},
        StepCase{{"contrast", "+", "100%"}, 0x12, 4000}, StepCase{{"contrast", "-50%"}, 0x12, 0},
        StepCase{{"0x16", "50%"}, 0x16, 2}, StepCase{{"0x16", "16%"}, 0x16, 0},
        StepCase{{"0x16", "17%"}, 0x16, 1}, StepCase{{"0x16", "+50%"}, 0x16, 3},
        StepCase{{"0x16", "-17%"}, 0x16, 0}, StepCase{{"0x16", "-16%"}, 0x16, 1}));

TEST(Step, FailedReadWritesNothing)
{
    RunResult run = runPanoctl(machine({{"failReads", {0}}}), {"set", kId, "0x10", "+", "5"});
    EXPECT_EQ(run.out, "{\"ok\":false,\"value\":null}\n");
    EXPECT_EQ(run.trace.size(), 6U) << "the get transaction only";
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 50);

    RunResult unsupported = runPanoctl(machine(), {"set", kId, "0xE0", "+", "5"});
    EXPECT_EQ(unsupported.out, "{\"ok\":false,\"value\":null}\n");
    EXPECT_EQ(unsupported.trace.size(), 6U);
}

TEST(Step, WritesThatAllFailStillTellTheValue)
{
    // The get transaction makes writes 0 and 1; the set transaction 2 to 4.
    RunResult none = runPanoctl(machine({{"failWrites", {2, 3, 4}}}), {"set", kId, "16", "-", "5"});
    EXPECT_EQ(none.out, "{\"ok\":false,\"value\":45}\n");
    EXPECT_EQ(none.trace.size(), 12U);
    RunResult one = runPanoctl(machine({{"failWrites", {2, 3}}}), {"set", kId, "16", "-", "5"});
    EXPECT_EQ(one.out, "{\"ok\":true,\"value\":45}\n");
}

TEST(Step, UnknownDisplayTouchesNothing)
{
    for (const char* display : {"nope", "2", "0"}) {
        RunResult run = runPanoctl(machine(), {"set", display, "0x10", "+", "5"});
        EXPECT_EQ(run.out, "{\"ok\":false,\"value\":null}\n");
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.trace.empty());
    }
}

TEST(Step, BadAmountsAreRefusedBeforeAnythingIsSent)
{
    const std::string bad = "invalid number: ";
    struct {
        std::vector<std::string> words;
        std::string refused;  // without "panoctl: "
    } cases[] = {
        {{"0x10", "+"}, bad + "+"},
        {{"0x10", "-"}, bad + "-"},
        {{"0x10", "+", "65536"}, "out of range: 65536 (0 to 65535)"},
        {{"0x10", "-", "-1"}, bad + "-1"},
        {{"0x10", "+", "x"}, bad + "x"},
        {{"0x10", "+", ""}, bad},
        {{"0x10", "+", "hdmi1"}, bad + "hdmi1"},
        {{"input", "+", "hdmi1"}, "input takes a value, not a step"},
        {{"Brihgtness", "+", "5"}, "unknown feature: Brihgtness (did you mean brightness?)"},
        {{"0x10", "++", "5"}, bad + "++"},
        {{"0x10", "++5"}, bad + "++5"},
        {{"0x10", "+-5"}, bad + "+-5"},
        {{"0x10", "+x"}, bad + "+x"},
        {{"0x10", "+ 5"}, bad + "+ 5"},
        {{"0x10", "+5 "}, bad + "+5 "},
        {{"0x10", "+65536"}, "out of range: +65536 (0 to 65535)"},
        {{"0x10", "+hdmi1"}, bad + "+hdmi1"},
        {{"input", "+hdmi1"}, "input takes a value, not a step"},
        {{"0x10", "101%"}, "out of range: 101% (0% to 100%)"},
        {{"0x10", "+101%"}, "out of range: +101% (0% to 100%)"},
        {{"0x10", "-", "101%"}, "out of range: 101% (0% to 100%)"},
        {{"0x10", "%"}, bad + "%"},
        {{"0x10", "+%"}, bad + "+%"},
        {{"0x10", "5%%"}, bad + "5%%"},
        {{"0x10", "%5"}, bad + "%5"},
        {{"0x10", "5.5%"}, bad + "5.5%"},
        {{"0x10", " 5%"}, bad + " 5%"},
        {{"0x10", "+ 5%"}, bad + "+ 5%"},
        {{"0x10", "+", "+5%"}, bad + "+5%"},
        {{"50%", "5"}, bad + "50%"},
        {{"0x10", "+", "5", "5"}, "unexpected word: 5"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"set", kId};
        args.insert(args.end(), c.words.begin(), c.words.end());
        RunResult run = runPanoctl(machine(), args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "panoctl: " + c.refused + "\n") << testing::PrintToString(c.words);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.trace.empty());
    }
}

}  // namespace
