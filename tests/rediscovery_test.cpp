// Discovery run again and again in one process: nothing piles up, a registry
// that changes during a walk still gives a correct table, and displays come
// and go when the scenario file is rewritten between discoveries.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/display_lookup.h"
#include "cli/session.h"
#include "ddc/vcp.h"
#include "discovery/display_table.h"
#include "discovery/walk.h"
#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;

namespace {

// The run these tests drive discovery and transactions through, as a
// command does, under the short names the tests use.
Session session;
std::array<DisplayRecord, kMaxDisplays>& g_displays = session.displays.records;
int32_t& g_count = session.displays.count;

void enumerateDisplays()
{
    discoverDisplays(&session);
}

void releaseDisplays()
{
    ::releaseDisplays(&session.displays);
}

bool asWriteVCP(const DisplayRecord& display, uint8_t vcp, uint16_t value)
{
    return ::asWriteVCP(sessionLink(&session, display), vcp, value);
}

bool asReadVCPAt(const DisplayRecord& display, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum)
{
    return ::asReadVCPAt(sessionLink(&session, display), vcp, chip, dataAddress, current, maximum);
}

// A machine with one display per key, each with its own id, name and monitor.
std::string machine(const std::vector<std::string>& keys, int brightness = 50)
{
    reg::Children children;
    Json monitors = Json::object();
    for (const std::string& key : keys) {
        children.push_back(reg::node(
            "port-" + key, Json::object(),
            {reg::proxy(key, {{"EDID UUID", "UUID-" + key}, {"ProductName", "Name-" + key}})}));
        monitors[key] = reg::monitor(brightness);
    }
    return reg::scenario(children, monitors);
}

std::vector<std::string> tableIds()
{
    std::vector<std::string> ids;
    for (int32_t i = 0; i < g_count; i++) {
        ids.emplace_back(g_displays[i].id.data());
    }
    return ids;
}

std::vector<std::string> tableNames()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < g_count; i++) {
        names.emplace_back(g_displays[i].name.data());
    }
    return names;
}

// After a discovery the process holds exactly the table's AV service handles.
void expectOnlyTheTableHeld()
{
    EXPECT_EQ(sim::liveAvServices(), g_count);
    EXPECT_EQ(sim::liveCfObjects(), g_count);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
    EXPECT_EQ(sim::badRegistryReleases(), 0);
}

class Rediscovery : public testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("DDC_DEBUG");
        sim::setFastPauses(true);
        releaseDisplays();
    }
    void TearDown() override
    {
        sim::changeRegistryDuringWalks(0, 0, "");
        releaseDisplays();
        EXPECT_EQ(sim::liveCfObjects(), 0);
        std::filesystem::remove(path_);
    }

    void writeScenario(const std::string& text) const
    {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }
    void loadFile(const std::string& text) const
    {
        writeScenario(text);
        std::string error;
        ASSERT_TRUE(sim::loadScenarioFile(path_, &error)) << error;
    }

    std::string path_ = std::filesystem::temp_directory_path() /
                        ("panoctl-rediscovery-" + std::to_string(getpid()) + ".json");
};

// From a scenario file, so that every discovery also looks whether it changed.
TEST_F(Rediscovery, LiveObjectsStayFlatOverTenThousandDiscoveries)
{
    ASSERT_NO_FATAL_FAILURE(loadFile(machine({"left", "right"})));
    enumerateDisplays();
    ASSERT_EQ(g_count, 2);
    expectOnlyTheTableHeld();
    std::vector<std::string> first = tableIds();

    for (int i = 0; i < 10000; i++) {
        enumerateDisplays();
    }
    EXPECT_EQ(tableIds(), first);
    expectOnlyTheTableHeld();

    releaseDisplays();
    EXPECT_EQ(g_count, 0);
    EXPECT_EQ(sim::liveCfObjects(), 0);
}

struct MidWalkCase {
    const char* what;
    uint64_t afterEntries;  // entries handed out before the registry changes
    int times;
    std::string changedTo;
    std::vector<std::string> expectedIds;
    std::string expectedDebug;
};

void PrintTo(const MidWalkCase& c, std::ostream* os)
{
    *os << c.what;
}

class MidWalkChange : public Rediscovery, public testing::WithParamInterface<MidWalkCase> {};

// The starting machine has displays a and b, two entries each.
TEST_P(MidWalkChange, GivesTheTableOfTheRegistryAsItEnds)
{
    const MidWalkCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(loadFile(machine({"a", "b"})));
    sim::changeRegistryDuringWalks(c.afterEntries, c.times, c.changedTo);
    DebugEnv debug("1");
    testing::internal::CaptureStderr();
    enumerateDisplays();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[dbg] " + c.expectedDebug + "\n");
    EXPECT_EQ(tableIds(), c.expectedIds);
    expectOnlyTheTableHeld();
}

INSTANTIATE_TEST_SUITE_P(
    Walk, MidWalkChange,
    testing::Values(MidWalkCase{"unchanged content after the first display",
                                3,
                                1,
                                machine({"a", "b"}),
                                {"UUID-a", "UUID-b"},
                                "shim=0 shimWithUUID=0 proxy=2 added=2"},
                    MidWalkCase{"a display unplugged and another plugged in",
                                2,
                                1,
                                machine({"b", "c"}),
                                {"UUID-b", "UUID-c"},
                                "shim=0 shimWithUUID=0 proxy=2 added=2"},
                    MidWalkCase{"every display unplugged",
                                1,
                                1,
                                machine({}),
                                {},
                                "shim=0 shimWithUUID=0 proxy=0 added=0"},
                    // A registry that never holds still: the walk gives up restarting and
                    // keeps what its last pass saw, leaking nothing.
                    MidWalkCase{"changing during every pass",
                                3,
                                1000,
                                machine({"a", "b"}),
                                {"UUID-a"},
                                "shim=0 shimWithUUID=0 proxy=1 added=1"}));

TEST_F(Rediscovery, RewrittenScenarioPlugsAndUnplugsDisplaysAndKeepsValues)
{
    ASSERT_NO_FATAL_FAILURE(loadFile(machine({"left", "right"})));
    enumerateDisplays();
    ASSERT_EQ(tableIds(), (std::vector<std::string>{"UUID-left", "UUID-right"}));
    ASSERT_TRUE(asWriteVCP(g_displays[0], 0x10, 80));
    ASSERT_EQ(sim::monitorVcpCurrent("left", 0x10), 80);

    // Unchanged file: the same machine, values and all.
    enumerateDisplays();
    EXPECT_EQ(sim::monitorVcpCurrent("left", 0x10), 80);

    // "right" unplugged, "extra" plugged in; the file's value for "left" is
    // the scenario's, but the monitor keeps the one it was set to.
    writeScenario(machine({"extra", "left"}, 30));
    enumerateDisplays();
    EXPECT_EQ(tableIds(), (std::vector<std::string>{"UUID-extra", "UUID-left"}));
    expectOnlyTheTableHeld();
    EXPECT_EQ(sim::monitorVcpCurrent("left", 0x10), 80);
    EXPECT_EQ(sim::monitorVcpCurrent("extra", 0x10), 30);
    EXPECT_EQ(sim::monitorVcpCurrent("right", 0x10), std::nullopt);
    int32_t current = 0, maximum = 0;
    ASSERT_TRUE(asReadVCPAt(g_displays[1], 0x10, 0x37, 0x51, &current, &maximum));
    EXPECT_EQ(current, 80);

    // Rewritten in place at once with text of the same size: seen all the same.
    std::string renamed = machine({"extra", "left"}, 30);
    renamed.replace(renamed.find("Name-left"), 9, "Name-LEFT");
    writeScenario(renamed);
    enumerateDisplays();
    EXPECT_EQ(tableNames(), (std::vector<std::string>{"Name-extra", "Name-LEFT"}));
}

TEST_F(Rediscovery, StaleHandleFailsAfterReload)
{
    ASSERT_NO_FATAL_FAILURE(loadFile(machine({"left"})));
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = IO_OBJECT_NULL;
    ASSERT_EQ(IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                            &iterator),
              KERN_SUCCESS);
    IOObjectRelease(IOIteratorNext(iterator));
    io_registry_entry_t proxy = IOIteratorNext(iterator);
    IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, proxy);
    ASSERT_NE(service, nullptr);
    IOObjectRelease(proxy);
    IOObjectRelease(iterator);
    IOObjectRelease(root);

    writeScenario(machine({"left", "other"}));
    IOObjectRelease(IORegistryGetRootEntry(kIOMainPortDefault));  // the next discovery
    uint8_t reply[12] = {};
    EXPECT_NE(IOAVServiceReadI2C(service, 0x37, 0x51, reply, sizeof reply), kIOReturnSuccess);
    CFRelease(service);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
}

using RediscoveryDeathTest = Rediscovery;

TEST_F(RediscoveryDeathTest, BrokenRewriteEndsTheProcessWithTheScenarioError)
{
    ASSERT_NO_FATAL_FAILURE(loadFile(machine({"left"})));
    enumerateDisplays();
    writeScenario("{\"registry\": ");
    EXPECT_EXIT(enumerateDisplays(), testing::ExitedWithCode(2),
                "^panoctl: scenario " + path_ + ": invalid json at line 1, column 14\n$");
    std::filesystem::remove(path_);
    EXPECT_EXIT(enumerateDisplays(), testing::ExitedWithCode(2),
                "^panoctl: scenario " + path_ + ": cannot open \\(no such file or directory\\)\n$");
}

}  // namespace
