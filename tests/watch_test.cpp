// watch in-process: the command lines it refuses, a registry that cannot be
// watched, and batch lines that ask for it. Watches that run are driven
// through the real binary by watch_process_test.py.
#include <gtest/gtest.h>

#include "harness.h"
#include "sim_control.h"

namespace {

struct WatchRefusal {
    std::vector<std::string> args;
    bool portFails;
    std::string err;
};

class WatchRefused : public testing::TestWithParam<WatchRefusal> {
protected:
    void TearDown() override { sim::setNotificationPortCreationFails(false); }
};

TEST_P(WatchRefused, NothingOnStandardOutputAndNoTraffic)
{
    const WatchRefusal& c = GetParam();
    sim::setNotificationPortCreationFails(c.portFails);
    RunResult run = runPanoctl("", c.args);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
    EXPECT_EQ(run.registryReferences, 0);
    EXPECT_EQ(run.liveAvServices, 0);
    EXPECT_EQ(sim::liveNotificationPorts(), 0);
}

const char kCannotWatch[] = "panoctl: cannot watch displays: no notification port\n";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WatchRefused,
    testing::Values(
        WatchRefusal{{"watch", "1"}, false, "panoctl: unexpected word: 1\n"},
        WatchRefusal{{"watch", "--count", "1", "x"}, false, "panoctl: unexpected word: x\n"},
        WatchRefusal{
            {"--count", "0", "watch"}, false, "panoctl: out of range: --count 0 (1 to 1000000)\n"},
        WatchRefusal{{"--count", "1000001", "watch"},
                     false,
                     "panoctl: out of range: --count 1000001 (1 to 1000000)\n"},
        WatchRefusal{{"--count", "-1", "watch"}, false, "panoctl: invalid number: -1\n"},
        WatchRefusal{{"--count", "watch"}, false, "panoctl: invalid number: watch\n"},
        WatchRefusal{{"watch", "--count"}, false, "panoctl: missing value for --count\n"},
        WatchRefusal{{"--count"}, false, "panoctl: missing value for --count\n"},
        WatchRefusal{{"watch"}, true, kCannotWatch},
        WatchRefusal{{"--count", "1000000", "watch"}, true, kCannotWatch},
        WatchRefusal{{"--count", "0x10", "--retries", "2", "watch"}, true, kCannotWatch},
        WatchRefusal{{"watch", "--count=5"}, true, kCannotWatch}));

// A batch answers one document per line and never ends on its own line: a
// watch is refused there, like help, with its options or without.
TEST(WatchInBatch, RefusedAsALine)
{
    RunResult run = runPanoctlWithInput("", {"batch"}, "watch\n--count 1 watch\nget 1 16\n");
    EXPECT_EQ(run.out,
              "{\"error\":\"usage\",\"message\":\"panoctl: watch is not available in batch\"}\n"
              "{\"error\":\"usage\",\"message\":\"panoctl: watch is not available in batch\"}\n"
              "{\"value\":60}\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(sim::liveNotificationPorts(), 0);
}

// --count is the watch's: other commands run as without it.
TEST(WatchCount, IgnoredByOtherCommands)
{
    RunResult with = runPanoctl("", {"--count", "3", "get", "1", "16"});
    RunResult without = runPanoctl("", {"get", "1", "16"});
    EXPECT_EQ(with.out, without.out);
    EXPECT_EQ(with.trace, without.trace);
    EXPECT_EQ(with.status, 0);
}

}  // namespace
