// Retries on request (--retries N) and the read back of --verify, through
// the trace: which transactions are made again, with which pauses, and what
// the counters under DDC_DEBUG say.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;
using Trace = std::vector<std::string>;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-0000000A7E57";
const std::string kCapabilities =
    "(prot(monitor)type(LCD)model(RT)cmds(01 02 03 07 0C E3 F3)vcp(02 10 12 60(0F 11))"
    "mccs_ver(2.2))";

// One display: brightness 50 of 100 and a three-fragment capabilities string.
std::string machine(Json faults = Json::object())
{
    Json monitor = reg::monitor(50, 100, kCapabilities);
    if (!faults.empty()) {
        monitor["faults"] = std::move(faults);
    }
    return reg::scenario({reg::panel(kId, "Retry"), reg::proxy("m")}, {{"m", std::move(monitor)}});
}

RunResult run(Json faults, const std::vector<std::string>& args)
{
    return runPanoctl(machine(std::move(faults)), args);
}

// The pauses of a trace, in order, in microseconds.
std::vector<int> pauses(const Trace& trace)
{
    std::vector<int> found;
    for (const std::string& line : trace) {
        if (line.rfind("sleep ", 0) == 0) {
            found.push_back(std::stoi(line.substr(6)));
        }
    }
    return found;
}

// Pauses written as runs: {count, microseconds}, one after the other.
std::vector<int> paced(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> pauses;
    for (auto [count, micros] : runs) {
        pauses.insert(pauses.end(), static_cast<size_t>(count), micros);
    }
    return pauses;
}

std::string valueReply(int current)
{
    // 6e 88 02 00 10 00 00 64 00 <current> <checksum>, as a 12-byte read.
    int checksum = 0x50 ^ 0x6e ^ 0x88 ^ 0x02 ^ 0x10 ^ 0x64 ^ current;
    char hex[32];
    std::snprintf(hex, sizeof hex, "6e8802001000006400%02x%02x00", current, checksum);
    return hex;
}

struct GetRetryCase {
    const char* what;
    Json faults;
    int retries;
    std::string out;
    std::vector<int> pauses;
};

void PrintTo(const GetRetryCase& c, std::ostream* os)
{
    *os << c.what;
}

class GetRetries : public testing::TestWithParam<GetRetryCase> {};

TEST_P(GetRetries, StartOverFromTheFirstPauseWithLongerPauses)
{
    const GetRetryCase& c = GetParam();
    RunResult result = run(c.faults, {"--retries", std::to_string(c.retries), "get", kId, "16"});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(pauses(result.trace), c.pauses);
}

const std::string kFifty = "{\"value\":50}\n";
const std::string kFailed = "{\"value\":null,\"error\":\"read_failed\"}\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, GetRetries,
    testing::Values(
        GetRetryCase{"no fault: one attempt", Json::object(), 3, kFifty, paced({{3, 10000}})},
        GetRetryCase{
            "first write", {{"failWrites", {0}}}, 1, kFifty, paced({{1, 10000}, {3, 20000}})},
        GetRetryCase{
            "second write", {{"failWrites", {1}}}, 1, kFifty, paced({{2, 10000}, {3, 20000}})},
        GetRetryCase{"read", {{"failReads", {0}}}, 1, kFifty, paced({{3, 10000}, {3, 20000}})},
        GetRetryCase{"null message",
                     {{"replies", {{"0", "6e80be"}}}},
                     1,
                     kFifty,
                     paced({{3, 10000}, {3, 20000}})},
        GetRetryCase{"no retries asked for", {{"failReads", {0}}}, 0, kFailed, paced({{3, 10000}})},
        GetRetryCase{
            "retries exhausted, pauses double up to 80 ms",
            {{"failReads", {0, 1, 2, 3, 4, 5}}},
            5,
            kFailed,
            paced({{3, 10000}, {3, 20000}, {3, 40000}, {3, 80000}, {3, 80000}, {3, 80000}})},
        GetRetryCase{"ten failed reads in a row, answered by the last retry",
                     {{"failReads", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}},
                     10,
                     kFifty,
                     paced({{3, 10000}, {3, 20000}, {3, 40000}, {24, 80000}})}));

TEST(GetRetries, EveryOperationOfTheTransactionFailingIsRecovered)
{
    // Each write and read of a first attempt fails in turn, alone and as the
    // first of ten failures of its kind in a row.
    for (const char* kind : {"failWrites", "failReads"}) {
        int operations = kind == std::string("failWrites") ? 2 : 1;
        for (int first = 0; first < operations; first++) {
            for (int length : {1, 10}) {
                Json indices = Json::array();
                for (int i = first; i < first + length; i++) indices.push_back(i);
                RunResult result = run({{kind, indices}}, {"--retries", "10", "get", kId, "16"});
                EXPECT_EQ(result.out, kFifty) << kind << " from " << first << " x" << length;
            }
        }
    }
}

TEST(SetRetries, MakeTheThreeWritesAgainOnlyWhenNoneWasAccepted)
{
    const std::string write = "write 0x37 0x51 84 03 10 00 46 ee -> ";
    struct {
        Json failing;
        std::string out;
        std::vector<int> pauses;
    } cases[] = {
        {{0, 1}, "{\"ok\":true}\n", paced({{3, 10000}})},
        {{0, 1, 2}, "{\"ok\":true}\n", paced({{3, 10000}, {3, 20000}})},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8},
         "{\"ok\":false}\n",
         paced({{3, 10000}, {3, 20000}, {3, 40000}})},
    };
    for (const auto& c : cases) {
        RunResult result =
            run({{"failWrites", c.failing}}, {"--retries", "2", "set", kId, "0x10", "70"});
        EXPECT_EQ(result.out, c.out) << c.failing;
        EXPECT_EQ(pauses(result.trace), c.pauses) << c.failing;
        for (size_t line = 1; line < result.trace.size(); line += 2) {
            EXPECT_EQ(result.trace[line].rfind(write, 0), 0U) << "every attempt sends the message";
        }
    }
}

TEST(CapabilitiesRetries, AskForTheSameOffsetAgainButNeverRepeatTheFirstRequest)
{
    // Read 1 is the second fragment's (offset 32): it fails once.
    RunResult result = run({{"failReads", {1}}}, {"--retries", "2", "capabilities", kId});
    EXPECT_EQ(result.out, "{\"capabilities\":\"" + kCapabilities + "\"}\n");
    EXPECT_EQ(pauses(result.trace), std::vector<int>({10000, 50000, 10000, 10000, 10000, 10000,
                                                      20000, 20000, 10000, 10000}));
    EXPECT_EQ(result.trace[8], result.trace[12]) << "the same request for offset 32";
    EXPECT_NE(result.trace[8].find(" 83 f3 00 20 "), std::string::npos);

    // A failed first request is not made again; the fragments are read anyway.
    RunResult first = run({{"failWrites", {0}}}, {"--retries", "3", "capabilities", kId});
    EXPECT_EQ(first.out, result.out);
    EXPECT_EQ(first.trace.size(), 3U + 3 * 4);
}

TEST(CapabilitiesRetries, AFragmentThatKeepsFailingEndsTheReadWithWhatWasGathered)
{
    RunResult result = run({{"failReads", {1, 2}}}, {"--retries", "1", "capabilities", kId});
    EXPECT_EQ(result.out, "{\"capabilities\":\"" + kCapabilities.substr(0, 32) + "\"}\n");
    EXPECT_EQ(pauses(result.trace), paced({{1, 10000}, {1, 50000}, {4, 10000}, {2, 20000}}));
}

TEST(ProbeRetries, ProbeShowsTheBusAsItIs)
{
    Json faults{{"failReads", {0}}, {"failWrites", {4}}};
    RunResult plain = run(faults, {"probeaddr", kId});
    RunResult retried = run(faults, {"--retries", "5", "probeaddr", kId});
    EXPECT_EQ(retried.trace, plain.trace);
    EXPECT_EQ(retried.out, plain.out);
    EXPECT_NE(retried.out.find("\"ok\":false"), std::string::npos);
}

struct VerifyCase {
    const char* what;
    std::vector<std::string> args;
    Json faults;
    std::string out;
    std::vector<int> pauses;
};

void PrintTo(const VerifyCase& c, std::ostream* os)
{
    *os << c.what;
}

class Verify : public testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, ReadsTheValueBackAfterAnAcceptedWrite)
{
    const VerifyCase& c = GetParam();
    RunResult result = run(c.faults, c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(pauses(result.trace), c.pauses);
}

const std::vector<int> kSetThenRead = paced({{3, 10000}, {1, 50000}, {3, 10000}});

INSTANTIATE_TEST_SUITE_P(
    ReadBack, Verify,
    testing::Values(VerifyCase{"the value holds",
                               {"--verify", "set", kId, "16", "70"},
                               Json::object(),
                               "{\"ok\":true}\n",
                               kSetThenRead},
                    VerifyCase{"clamped to the maximum",
                               {"--verify", "set", kId, "16", "300"},
                               Json::object(),
                               "{\"ok\":false}\n",
                               kSetThenRead},
                    VerifyCase{"ignored: the monitor still answers the old value",
                               {"--verify", "set", kId, "16", "70"},
                               {{"replies", {{"0", valueReply(50)}}}},
                               "{\"ok\":false}\n",
                               kSetThenRead},
                    VerifyCase{"the read back fails",
                               {"--verify", "set", kId, "16", "70"},
                               {{"failReads", {0}}},
                               "{\"ok\":false}\n",
                               kSetThenRead},
                    VerifyCase{"the read back is retried like any get",
                               {"--verify", "--retries", "1", "set", kId, "16", "70"},
                               {{"failReads", {0}}},
                               "{\"ok\":true}\n",
                               paced({{3, 10000}, {1, 50000}, {3, 10000}, {3, 20000}})},
                    VerifyCase{"no write accepted: nothing read",
                               {"--verify", "set", kId, "16", "70"},
                               {{"failWrites", {0, 1, 2}}},
                               "{\"ok\":false}\n",
                               paced({{3, 10000}})},
                    VerifyCase{"a step reads back the value it wrote",
                               {"--verify", "set", kId, "16", "+", "15"},
                               Json::object(),
                               "{\"ok\":true,\"value\":65}\n",
                               paced({{6, 10000}, {1, 50000}, {3, 10000}})},
                    VerifyCase{"a clamped step is what the monitor holds",
                               {"--verify", "set", kId, "16", "+", "90"},
                               Json::object(),
                               "{\"ok\":true,\"value\":100}\n",
                               paced({{6, 10000}, {1, 50000}, {3, 10000}})},
                    VerifyCase{"after the command word it is the same option",
                               {"set", kId, "16", "70", "--verify"},
                               Json::object(),
                               "{\"ok\":true}\n",
                               kSetThenRead}));

TEST(Counters, CountTransfersFailuresAndRetriesAfterTheDocument)
{
    DebugEnv debug("1");
    RunResult result =
        run({{"failReads", {0}}, {"failWrites", {3}}}, {"--retries", "3", "get", kId, "16"});
    EXPECT_EQ(result.out, kFifty);
    // Attempt 1: two writes, a failed read; attempt 2: a write, a failed
    // write; attempt 3: two writes and the read.
    EXPECT_EQ(result.err, "[dbg] shim=1 shimWithUUID=1 proxy=1 added=1\n"
                          "[dbg] writes=6 reads=2 failed=2 retries=2\n");

    RunResult verified = run(Json::object(), {"--verify", "set", kId, "16", "70"});
    EXPECT_EQ(verified.err.substr(verified.err.find('\n') + 1),
              "[dbg] writes=5 reads=1 failed=0 retries=0\n");
}

struct OptionCase {
    std::vector<std::string> args;
    std::string err;
};

void PrintTo(const OptionCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.args);
}

class Options : public testing::TestWithParam<OptionCase> {};

TEST_P(Options, AreRefusedBeforeDiscoveryAndTheBus)
{
    DebugEnv debug("1");
    RunResult result = runPanoctl(machine(), GetParam().args);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, GetParam().err) << "one line, no discovery line";
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.trace.empty());
}

INSTANTIATE_TEST_SUITE_P(
    WrongForms, Options,
    testing::Values(
        OptionCase{{"--retries"}, "panoctl: missing value for --retries\n"},
        OptionCase{{"--verify", "--retries"}, "panoctl: missing value for --retries\n"},
        OptionCase{{"get", kId, "16", "--retries"}, "panoctl: missing value for --retries\n"},
        OptionCase{{"--retries", "-1", "get", kId, "16"}, "panoctl: invalid number: -1\n"},
        OptionCase{{"--retries", "11", "get", kId, "16"},
                   "panoctl: out of range: --retries 11 (0 to 10)\n"},
        OptionCase{{"--retries=11", "get", kId, "16"},
                   "panoctl: out of range: --retries 11 (0 to 10)\n"},
        OptionCase{{"--retries", "02", "get", kId, "16"},
                   "panoctl: invalid number: 02 (leading zeros are not read as octal; write 2 or "
                   "0x2)\n"},
        OptionCase{{"--retries", "3x", "get", kId, "16"}, "panoctl: invalid number: 3x\n"},
        OptionCase{{"--retries", "+1", "get", kId, "16"}, "panoctl: invalid number: +1\n"},
        OptionCase{{"--retries", " 1", "get", kId, "16"}, "panoctl: invalid number:  1\n"},
        OptionCase{{"--retries", "1%", "get", kId, "16"}, "panoctl: invalid number: 1%\n"},
        OptionCase{{"--fail", "--max", "--retries", "-0", "get", kId, "16"},
                   "panoctl: invalid number: -0\n"},
        OptionCase{{"--fail", "--max", "--failure", "get", kId, "16"},
                   "panoctl: unknown option: --failure\n"},
        OptionCase{{"--retries", "--verify", "get", kId, "16"},
                   "panoctl: missing value for --retries\n"},
        OptionCase{{"--retrie", "3", "get", kId, "16"}, "panoctl: unknown option: --retrie\n"},
        OptionCase{
            {"--retries", "3"},
            "usage: panoctl [options] "
            "<list|get|set|capabilities|features|save|restore|probeaddr|watch|batch|config|help|"
            "version> ... (panoctl help says more)\n"}));

TEST(Options, AreReadInAnyOrderAndInEveryNumericSyntax)
{
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"--retries", "0x2"},
                                               {"--verify", "--retries", "2"},
                                               {"--retries=10"},
                                               {"--verify", "--retries=0x2", "--"}}) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"get", kId, "16"});
        RunResult result = run({{"failReads", {0, 1}}}, args);
        EXPECT_EQ(result.out, kFifty) << testing::PrintToString(options);
    }
}

}  // namespace
