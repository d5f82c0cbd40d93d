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

const char kUnknown[] = "unknown command or missing args\n";
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

INSTANTIATE_TEST_SUITE_P(
    Words, Dispatch,
    testing::Values(
        DispatchCase{{}, "", "usage: panoctl <list|get|set|capabilities> ...\n", 2},
        DispatchCase{{"list"}, "*", "", 0}, DispatchCase{{"list", "extra", "words"}, "*", "", 0},
        DispatchCase{{"LIST"}, "", kUnknown, 2}, DispatchCase{{"List"}, "", kUnknown, 2},
        DispatchCase{{"lis"}, "", kUnknown, 2}, DispatchCase{{"list "}, "", kUnknown, 2},
        DispatchCase{{""}, "", kUnknown, 2}, DispatchCase{{"get", "X"}, "", kUnknown, 2},
        DispatchCase{{"set", "X", "0x10"}, "", kUnknown, 2},
        DispatchCase{{"capabilities"}, "", kUnknown, 2},
        DispatchCase{{"probeaddr"}, "", kUnknown, 2},
        DispatchCase{{"get", "X", "16"}, kReadFailed, "", 0},
        DispatchCase{{"get", "X", "16", "extra"}, kReadFailed, "", 0},
        DispatchCase{{"set", "X", "16", "1"}, "{\"ok\":false}\n", "", 0},
        DispatchCase{{"capabilities", "X"}, "{\"capabilities\":\"\"}\n", "", 0},
        DispatchCase{{"probeaddr", "X"}, "{\"error\":\"no_such_display\"}\n", "", 1},
        DispatchCase{{"probeaddr", "X", "0x12"}, "{\"error\":\"no_such_display\"}\n", "", 1}));

TEST(Dispatch, DiscoveryRunsBeforeTheWordIsJudged)
{
    DebugEnv debug("");
    RunResult unknown = runPanoctl("", {"nonsense"});
    EXPECT_EQ(unknown.err, "[dbg] shim=3 shimWithUUID=3 proxy=2 added=2\n" + std::string(kUnknown) +
                               kNoTransfers);
    EXPECT_EQ(unknown.out, "");

    RunResult noWord = runPanoctl("", {});
    EXPECT_EQ(noWord.err, "usage: panoctl <list|get|set|capabilities> ...\n");
}

}  // namespace
