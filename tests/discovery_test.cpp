// Discovery end to end: simulated registries in, the `list` document and the
// debug counters out, and every registry and Core Foundation reference the
// walk should give back given back.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;

namespace {

const std::string kUuidA = "11111111-AAAA-0000-0000-000000000001";
const std::string kUuidB = "22222222-BBBB-0000-0000-000000000002";

std::string record(const std::string& id, const std::string& name, const std::string& serial)
{
    return R"({"id":")" + id + R"(","name":")" + name + R"(","serial":")" + serial +
           R"(","isBuiltin":false,"supportsDdc":true})";
}

Json monitors(std::initializer_list<const char*> keys)
{
    Json all = Json::object();
    for (const char* key : keys) {
        all[key] = reg::monitor();
    }
    return all;
}

// A display branch as machines lay it out: the panel first, then the proxy
// further down a sibling branch, reached by climbing from the proxy.
Json displayBranch(const std::string& branch, Json panel, Json proxy)
{
    return reg::node(branch, Json::object(),
                     {reg::node("dcpext", Json::object(), {std::move(panel)}),
                      reg::node("dp-port", Json::object(), {std::move(proxy)})});
}

// Nests `entry` seven levels deep, so that climbing from it finds nothing
// outside the nest.
Json isolated(Json entry)
{
    for (int level = 0; level < 7; level++) {
        entry = reg::node("nest" + std::to_string(level), Json::object(), {std::move(entry)});
    }
    return entry;
}

struct DiscoveryCase {
    const char* what;
    reg::Children children;
    Json monitors;
    std::string expectedList;  // without the line feed
    std::string expectedDebug;
};

std::vector<DiscoveryCase> discoveryCases()
{
    using reg::node;
    using reg::panel;
    using reg::proxy;
    std::vector<DiscoveryCase> cases;

    cases.push_back(
        {"empty registry", {}, Json::object(), "[]", "shim=0 shimWithUUID=0 proxy=0 added=0"});

    cases.push_back(
        {"proxy climbs to its panel; name and EDID serial from the panel",
         {displayBranch("dispext0",
                        panel(kUuidA, "Office Monitor", {{"EDID", reg::edid(0x12345678)}}),
                        proxy("m"))},
         monitors({"m"}),
         "[" + record(kUuidA, "Office Monitor", "12345678") + "]",
         "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"serial from ProductAttributes when the EDID field is zero",
                     {panel(kUuidA, "",
                            {{"EDID", reg::edid(0)},
                             {"DisplayAttributes", reg::displayAttributes("P", 305419896)}}),
                      proxy("m")},
                     monitors({"m"}),
                     "[" + record(kUuidA, "P", "12345678") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back(
        {"a serial number wider than 32 bits keeps every digit",
         {panel(kUuidA, "", {{"DisplayAttributes", reg::displayAttributes("P", 0x1122334455)}}),
          proxy("m")},
         monitors({"m"}),
         "[" + record(kUuidA, "P", "1122334455") + "]",
         "shim=1 shimWithUUID=1 proxy=1 added=1"});

    // A 32-bit serial arrives as a signed 32-bit number: the high bit set
    // reads back negative and is taken as the unsigned value it was.
    for (auto [number, serial] : {std::pair<int64_t, const char*>{-1, "FFFFFFFF"},
                                  {-2147483648, "80000000"},
                                  {-559038737, "DEADBEEF"}}) {
        cases.push_back(
            {"a 32-bit serial with its high bit set",
             {panel(kUuidA, "", {{"DisplayAttributes", reg::displayAttributes("P", number)}}),
              proxy("m")},
             monitors({"m"}),
             "[" + record(kUuidA, "P", serial) + "]",
             "shim=1 shimWithUUID=1 proxy=1 added=1"});
    }
    cases.push_back({"a zero serial gives none",
                     {panel(kUuidA, "", {{"Metadata", {{"SerialNumber", 0}}}}), proxy("m")},
                     monitors({"m"}),
                     "[" + record(kUuidA, "Display", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"Metadata serial when the other sources give nothing usable",
                     {panel(kUuidA, "",
                            {{"EDID", Json{{"$data", "00ff"}}},
                             {"DisplayAttributes", reg::displayAttributes("P", -2147483649)},
                             {"Metadata", {{"SerialNumber", 255}}}}),
                      proxy("m")},
                     monitors({"m"}),
                     "[" + record(kUuidA, "P", "000000FF") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back(
        {"wrongly typed properties are ignored",
         {panel(kUuidA, "",
                {{"EDID", "not data"},
                 {"DisplayAttributes",
                  {{"ProductAttributes", {{"ProductName", 7}, {"SerialNumber", "12"}}}}},
                 {"Metadata", {{"SerialNumber", 1.5}}}}),
          node("AppleCLCD2", {{"EDID UUID", 42}}), proxy("m")},
         monitors({"m"}),
         "[" + record(kUuidA, "Display", "") + "]",
         "shim=2 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"a proxy before any panel and with no UUID around it is skipped",
                     {isolated(proxy("m")), panel(kUuidA, "Late")},
                     monitors({"m"}),
                     "[]",
                     "shim=1 shimWithUUID=1 proxy=1 added=0"});

    cases.push_back({"a proxy with no UUID around it takes the last panel's UUID and serial",
                     {panel(kUuidA, "First", {{"EDID", reg::edid(0xAB)}}), isolated(proxy("m"))},
                     monitors({"m"}),
                     "[" + record(kUuidA, "First", "000000AB") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"an empty UUID on the proxy stops the climb and falls back",
                     {node("d", Json::object(),
                           {panel(kUuidB, "B"), panel(kUuidA, "A"),
                            node("port", Json::object(), {proxy("m", {{"EDID UUID", ""}})})})},
                     monitors({"m"}),
                     "[" + record(kUuidA, "A", "") + "]",
                     "shim=2 shimWithUUID=2 proxy=1 added=1"});

    cases.push_back({"an empty panel UUID empties the fallback",
                     {panel(kUuidA, "A"), panel("", "Blank"), isolated(proxy("m"))},
                     monitors({"m"}),
                     "[]",
                     "shim=2 shimWithUUID=2 proxy=1 added=0"});

    cases.push_back({"two proxies falling back to one UUID give two records with that id",
                     {panel(kUuidA, "A"), isolated(proxy("m")), isolated(proxy("n"))},
                     monitors({"m", "n"}),
                     "[" + record(kUuidA, "A", "") + "," + record(kUuidA, "A", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=2 added=2"});

    cases.push_back(
        {"a proxy without a name takes the most recent panel's, even another's",
         {panel(kUuidA, "Panel A"), panel(kUuidB, "Panel B"), proxy("m", {{"EDID UUID", kUuidA}})},
         monitors({"m"}),
         "[" + record(kUuidA, "Panel B", "") + "]",
         "shim=2 shimWithUUID=2 proxy=1 added=1"});

    cases.push_back(
        {"the proxy's own non-empty ProductName wins; an empty one does not",
         {panel(kUuidA, "Panel"),
          proxy("m", {{"EDID UUID", kUuidA}}, {node("IOAVDevice", {{"ProductName", "Own"}})}),
          proxy("n", {{"ProductName", ""}})},
         monitors({"m", "n"}),
         "[" + record(kUuidA, "Own", "") + "," + record(kUuidA, "Panel", "") + "]",
         "shim=1 shimWithUUID=1 proxy=2 added=2"});

    cases.push_back(
        {"a panel without DisplayAttributes clears the name it inherits",
         {panel(kUuidA, "Named"), panel(kUuidB, ""), proxy("m", {{"EDID UUID", kUuidB}})},
         monitors({"m"}),
         "[" + record(kUuidB, "Display", "") + "]",
         "shim=2 shimWithUUID=2 proxy=1 added=1"});

    cases.push_back(
        {"a panel met after its proxy does not give it a serial",
         {proxy("m", {{"EDID UUID", kUuidA}}), panel(kUuidA, "A", {{"EDID", reg::edid(7)}})},
         monitors({"m"}),
         "[" + record(kUuidA, "Display", "") + "]",
         "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"a serial once stored is kept; an empty one is filled later",
                     {panel(kUuidA, "A"), panel(kUuidA, "A", {{"EDID", reg::edid(1)}}),
                      panel(kUuidA, "A", {{"EDID", reg::edid(2)}}), proxy("m")},
                     monitors({"m"}),
                     "[" + record(kUuidA, "A", "00000001") + "]",
                     "shim=3 shimWithUUID=3 proxy=1 added=1"});

    cases.push_back({"non-panel names, names that only begin like one, are skipped",
                     {node("AppleCLCD2x", {{"EDID UUID", kUuidA}}),
                      node("IOMobileFramebufferShim", {{"EDID UUID", kUuidB}}),
                      node("DCPAVServiceProxy2", Json::object()), isolated(proxy("m"))},
                     monitors({"m"}),
                     "[" + record(kUuidB, "Display", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"a proxy whose service cannot be opened is counted and skipped",
                     {panel(kUuidA, "A"), node("DCPAVServiceProxy", Json::object())},
                     Json::object(),
                     "[]",
                     "shim=1 shimWithUUID=1 proxy=1 added=0"});

    cases.push_back({"a service with nothing connected is still a display",
                     {panel(kUuidA, "A"), proxy("")},
                     Json::object(),
                     "[" + record(kUuidA, "A", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    const std::string tooLong(40, 'U');
    cases.push_back({"a UUID that does not fit is no UUID; the earlier panel's stays",
                     {panel(kUuidA, "A"), panel(tooLong, "Long"), isolated(proxy("m"))},
                     monitors({"m"}),
                     "[" + record(kUuidA, "A", "") + "]",
                     "shim=2 shimWithUUID=1 proxy=1 added=1"});

    cases.push_back({"a proxy's own UUID that does not fit sends it climbing",
                     {displayBranch("d", panel(kUuidB, "B"), proxy("m", {{"EDID UUID", tooLong}}))},
                     monitors({"m"}),
                     "[" + record(kUuidB, "B", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});

    const std::string longestName(127, 'n');
    cases.push_back(
        {"a name of 127 bytes is kept whole, one of 128 is dropped",
         {panel(kUuidA, longestName), proxy("m", {{"EDID UUID", kUuidA}}),
          panel(kUuidB, longestName + "x"), proxy("n", {{"EDID UUID", kUuidB}})},
         monitors({"m", "n"}),
         "[" + record(kUuidA, longestName, "") + "," + record(kUuidB, "Display", "") + "]",
         "shim=2 shimWithUUID=2 proxy=2 added=2"});

    // Seven levels between the proxy and the branch holding the UUID.
    Json deep = proxy("m");
    for (int level = 0; level < 6; level++) {
        deep = node("level" + std::to_string(level), Json::object(), {deep});
    }
    cases.push_back({"the climb stops after six ancestors",
                     {node("top", Json::object(), {deep, panel(kUuidA, "Far")})},
                     monitors({"m"}),
                     "[]",
                     "shim=1 shimWithUUID=1 proxy=1 added=0"});
    Json shallow = deep["children"][0];
    cases.push_back({"the sixth ancestor's subtree is searched",
                     {node("top", Json::object(), {shallow, panel(kUuidA, "Far")})},
                     monitors({"m"}),
                     "[" + record(kUuidA, "Display", "") + "]",
                     "shim=1 shimWithUUID=1 proxy=1 added=1"});
    return cases;
}

void PrintTo(const DiscoveryCase& c, std::ostream* os)
{
    *os << c.what;
}

class Discovery : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, ListsTheDisplaysAndReleasesWhatItBorrowed)
{
    const DiscoveryCase& c = GetParam();
    DebugEnv debug("1");
    RunResult run = runPanoctl(reg::scenario(c.children, c.monitors), {"list"});
    EXPECT_EQ(run.out, c.expectedList + "\n");
    EXPECT_EQ(run.err, "[dbg] " + c.expectedDebug + "\n" + kNoTransfers);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Json::parse(run.out).is_array());

    // Kept by the table: one AV service per record. Every registry
    // reference and everything else has been released, exactly once.
    int records = static_cast<int>(Json::parse(run.out).size());
    EXPECT_EQ(run.liveAvServices, records);
    EXPECT_EQ(run.liveCfObjects, records);
    EXPECT_EQ(run.registryReferences, 0);
    EXPECT_EQ(run.badRegistryReleases, 0);
    EXPECT_TRUE(run.trace.empty());
}

INSTANTIATE_TEST_SUITE_P(Walk, Discovery, testing::ValuesIn(discoveryCases()));

TEST(Discovery, StopsAtSixteenDisplaysAndCountsEveryProxy)
{
    reg::Children children;
    Json all = Json::object();
    for (int i = 0; i < 17; i++) {
        std::string key = "m" + std::to_string(i);
        char uuid[40];
        std::snprintf(uuid, sizeof uuid, "00000000-0000-0000-0000-%012d", i);
        children.push_back(
            displayBranch("dispext" + std::to_string(i),
                          reg::panel(uuid, "P" + std::to_string(i), {{"EDID", reg::edid(i + 1)}}),
                          reg::proxy(key)));
        all[key] = reg::monitor();
    }
    DebugEnv debug("");
    RunResult run = runPanoctl(reg::scenario(children, all), {"list"});
    EXPECT_EQ(run.err, "[dbg] shim=17 shimWithUUID=17 proxy=17 added=16\n" + kNoTransfers);
    Json list = Json::parse(run.out);
    ASSERT_EQ(list.size(), 16U);
    EXPECT_EQ(list[15]["serial"], "00000010");
    EXPECT_EQ(run.liveAvServices, 16);
    EXPECT_EQ(run.liveCfObjects, 16);
}

TEST(Discovery, SerialMapHoldsSixteenUuids)
{
    // Sixteen panels fill the map; the seventeenth's serial is not kept, and
    // neither is a late serial for a UUID already in the full map.
    reg::Children children;
    for (int i = 0; i < 16; i++) {
        char uuid[40];
        std::snprintf(uuid, sizeof uuid, "00000000-0000-0000-0000-%012d", i);
        children.push_back(
            reg::panel(uuid, "", i == 0 ? Json::object() : Json{{"EDID", reg::edid(1)}}));
    }
    children.push_back(
        reg::panel("00000000-0000-0000-0000-000000000000", "", {{"EDID", reg::edid(9)}}));
    children.push_back(reg::panel(kUuidA, "", {{"EDID", reg::edid(2)}}));
    children.push_back(reg::proxy("m", {{"EDID UUID", kUuidA}}));
    children.push_back(reg::proxy("n", {{"EDID UUID", "00000000-0000-0000-0000-000000000000"}}));
    RunResult run = runPanoctl(reg::scenario(children, monitors({"m", "n"})), {"list"});
    Json list = Json::parse(run.out);
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list[0]["id"], kUuidA);
    EXPECT_EQ(list[0]["serial"], "");
    EXPECT_EQ(list[1]["serial"], "");
}

TEST(Discovery, IteratorFailureLeavesAnEmptyTableAndNoWalkCounters)
{
    DebugEnv debug("1");
    sim::setIteratorCreationFails(true);
    RunResult run = runPanoctl("", {"list"});
    sim::setIteratorCreationFails(false);
    EXPECT_EQ(run.out, "[]\n");
    EXPECT_EQ(run.err, kNoTransfers);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.registryReferences, 0);
}

TEST(Discovery, DefaultMachineShowsTwoExternalDisplays)
{
    RunResult run = runPanoctl("", {"list"});
    Json list = Json::parse(run.out);
    ASSERT_EQ(list.size(), 2U);
    for (const Json& display : list) {
        EXPECT_FALSE(display["id"].get<std::string>().empty());
        EXPECT_FALSE(display["serial"].get<std::string>().empty());
        EXPECT_NE(display["name"], "Display");
    }
    EXPECT_NE(list[0]["id"], list[1]["id"]);
}

}  // namespace
