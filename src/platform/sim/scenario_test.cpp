#include <algorithm>
#include <cstdio>

#include "test_helpers.h"

namespace {

using simtest::findEntry;
using simtest::searchString;

// A valid monitor and registry to break one piece at a time.
std::string withMonitor(const std::string& monitor)
{
    return R"({"registry": {"name": "R"}, "monitors": {"m": )" + monitor + "}}";
}
std::string withProperty(const std::string& value)
{
    return R"({"registry": {"name": "R", "properties": {"p": )" + value + "}}}";
}

TEST(ScenarioTest, BrokenScenariosAreRejectedWithWhereAndWhat)
{
    struct Case {
        std::string json;
        std::string message;
    } cases[] = {
        {"{", "invalid json at line 1, column 2"},
        {"{\n  \"registry\": {\"name\": \"x\",}\n}", "invalid json at line 2, column 28"},
        {"[]", "expected a json object"},
        {R"({"registry": {"name": "R"}, "extra": 1})", R"(unknown member "extra")"},
        {R"({"registry": {}})", "registry: missing name"},
        {R"({"registry": {"name": "R", "children": [{"name": "a"}, {"name": 7}]}})",
         "registry.children[1].name: expected a string"},
        {R"({"registry": {"name": ")" + std::string(128, 'n') + R"("}})",
         "registry.name: longer than 127 bytes"},
        {R"({"registry": {"name": "R", "children": [{"name": "a", "children": [3]}]}})",
         "registry.children[0].children[0]: expected an object"},
        {R"({"registry": {"name": "R", "colour": 1}})", R"(registry: unknown member "colour")"},
        {R"({"registry": {"name": "R", "a\nb": 1}})", R"(registry: unknown member "a\nb")"},
        {withProperty(R"({"$data": "0g"})"),
         R"(registry.properties["p"].$data: expected only hex digits)"},
        {withProperty(R"({"$data": "abc"})"),
         R"(registry.properties["p"].$data: odd number of hex digits)"},
        {withProperty(R"({"d": [{"$data": "x"}]})"),
         R"(registry.properties["p"]["d"][0].$data: odd number of hex digits)"},
        {withProperty("9223372036854775808"),
         R"(registry.properties["p"]: integer out of range of a 64-bit signed number)"},
        {R"({"registry": {"name": "R", "avservice": {"monitor": "x"}}})",
         R"(registry.avservice.monitor: no monitor "x")"},
        {R"({"registry": {"name": "R", "children": [{"name": "a", "avservice": {"monitor": "m"}},
             {"name": "b", "avservice": {"monitor": "m"}}]}, "monitors": {"m": {}}})",
         R"(registry.children[1].avservice.monitor: monitor "m" already has a service)"},
        {withMonitor("1"), R"(monitors["m"]: expected an object)"},
        {withMonitor(R"({"vpc": {}})"), R"(monitors["m"]: unknown member "vpc")"},
        {withMonitor(R"({"vcp": {"0x100": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["0x100"]: not a vcp code ("0x10" or "16", up to 255))"},
        {withMonitor(R"({"vcp": {"0x": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["0x"]: not a vcp code ("0x10" or "16", up to 255))"},
        {withMonitor(
             R"({"vcp": {"0x10": {"current": 1, "max": 2}, "16": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["16"]: code given twice)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1, "max": 65536}}})"),
         R"(monitors["m"].vcp["0x10"].max: expected an integer from 0 to 65535)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": -1, "max": 5}}})"),
         R"(monitors["m"].vcp["0x10"].current: expected an integer from 0 to 65535)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1}}})"),
         R"(monitors["m"].vcp["0x10"]: missing max)"},
        {withMonitor(R"({"capabilities": "caf\u00e9"})"),
         R"(monitors["m"].capabilities: expected ascii text)"},
        {withMonitor(R"({"faults": {"failWrites": [-1]}})"),
         R"(monitors["m"].faults.failWrites[0]: expected a non-negative integer)"},
        {withMonitor(R"({"faults": {"replies": {"x": "00"}}})"),
         R"(monitors["m"].faults.replies["x"]: expected a read index (decimal digits) as key)"},
        {withMonitor(R"({"bus": 1})"), R"(monitors["m"].bus: expected an object)"},
        {withMonitor(R"({"bus": {"failrate": 0.1}})"),
         R"(monitors["m"].bus: unknown member "failrate")"},
        {withMonitor(R"({"bus": {"failRate": 1.5}})"),
         R"(monitors["m"].bus.failRate: expected a number from 0 to 1)"},
        {withMonitor(R"({"bus": {"corruptRate": "0.1"}})"),
         R"(monitors["m"].bus.corruptRate: expected a number from 0 to 1)"},
        {withMonitor(R"({"bus": {"replyDelay": 4294967296}})"),
         R"(monitors["m"].bus.replyDelay: expected an integer from 0 to 4294967295)"},
        {withMonitor(R"({"bus": {"seed": 9223372036854775808}})"),
         R"(monitors["m"].bus.seed: expected an integer from -9223372036854775808 to 9223372036854775807)"},
        {withMonitor(R"({"faults": {"replies": {"1": "abc"}}})"),
         R"(monitors["m"].faults.replies["1"]: odd number of hex digits)"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::loadScenarioText(c.json, &error)) << c.json;
        EXPECT_EQ(error, c.message) << c.json;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(ScenarioTest, AcceptedFormsAndFailures)
{
    // Both spellings of a code, a 127-byte name, an empty service.
    simtest::load(R"({"registry": {"name": ")" + std::string(127, 'n') + R"(", "avservice": {}},
        "monitors": {"m": {"vcp": {"0xD6": {"current": 1, "max": 5},
                                   "16": {"current": 65535, "max": 65535}},
        "faults": {"replies": {"0": ""}}}}})");
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xd6), 1);
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 65535);
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    EXPECT_EQ(simtest::nameOf(root).size(), 127u);
    IOObjectRelease(root);

    // A failed load leaves an empty machine: a root named "Root", nothing else.
    std::string error;
    EXPECT_FALSE(sim::loadScenarioText(
        R"({"registry": {"name": "R", "children": [{"name": "a"}, 1]}})", &error));
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xd6), std::nullopt);
    for (const char* text : {"", "{}"}) {
        if (*text) simtest::load(text);
        root = IORegistryGetRootEntry(kIOMainPortDefault);
        EXPECT_EQ(simtest::nameOf(root), "Root");
        io_iterator_t iterator = 0;
        IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                      &iterator);
        EXPECT_TRUE(simtest::drain(iterator).empty());
        IOObjectRelease(root);
    }

    EXPECT_FALSE(sim::loadScenarioFile("/nonexistent/scenario.json", &error));
    EXPECT_EQ(error, "cannot open (no such file or directory)");
    EXPECT_FALSE(sim::loadScenarioFile(::testing::TempDir(), &error));
    EXPECT_EQ(error, "not a regular file");
    // A FIFO opens at once, with no writer to wait for, and is refused.
    std::string fifo = ::testing::TempDir() + "/scenario-fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(sim::loadScenarioFile(fifo, &error));
    EXPECT_EQ(error, "not a regular file");
    unlink(fifo.c_str());
}

// The default machine gives discovery what a real one would: each proxy
// tied to its own panel's EDID UUID (one through its ancestors, one through
// its own subtree), and serials in the EDID or in the display attributes.
TEST(DefaultScenarioTest, ExternalDisplaysAreTiedToTheirPanels)
{
    sim::loadDefaultScenario();
    struct Display {
        const char* monitor;
        int uuidLevel;  // 0: in the proxy's own subtree
        bool edidSerial;
        size_t minCapabilities, maxCapabilities;
    } displays[] = {{"left", 3, true, 417, 2047}, {"right", 0, false, 100, 255}};

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(displays[i].monitor);
        // Panel i + 1 (the built-in panel is the first) comes before proxy i.
        io_registry_entry_t panel = findEntry("AppleCLCD2", i + 1);
        io_registry_entry_t proxy = findEntry("DCPAVServiceProxy", i);
        ASSERT_LT(panel, proxy);  // entry handles follow depth-first order
        ASSERT_NE(panel, IO_OBJECT_NULL);

        // The EDID UUID: the proxy's subtree, then its ancestors' nearest first.
        int level = 0;
        std::string uuid = searchString(proxy, "EDID UUID");
        for (io_registry_entry_t current = proxy, parent; uuid == "<none>";
             current = parent, ++level) {
            ASSERT_EQ(IORegistryEntryGetParentEntry(current, kIOServicePlane, &parent),
                      KERN_SUCCESS);
            if (current != proxy) IOObjectRelease(current);
            uuid = searchString(parent, "EDID UUID");
            if (uuid != "<none>") IOObjectRelease(parent);
        }
        EXPECT_EQ(level, displays[i].uuidLevel);
        EXPECT_EQ(uuid, searchString(panel, "EDID UUID", 0));

        // The UUID is made of EDID bytes 8 to 23; bytes 12 to 15 are the serial.
        simtest::Key edidKey("EDID");
        auto data = static_cast<CFDataRef>(
            IORegistryEntryCreateCFProperty(panel, edidKey.get(), nullptr, 0));
        const UInt8* edid = CFDataGetBytePtr(data);
        EXPECT_TRUE(CFDataGetLength(data) == 128 || CFDataGetLength(data) == 256);
        std::string fromEdid;
        for (int k = 8; k < 24; ++k) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", edid[k]);
            fromEdid += (k == 12 || k == 14 || k == 16 || k == 18 ? "-" : "") + std::string(hex);
        }
        EXPECT_EQ(fromEdid, uuid);
        EXPECT_EQ((edid[12] | edid[13] | edid[14] | edid[15]) != 0, displays[i].edidSerial);
        CFRelease(data);

        // The capabilities string, read fragment by fragment.
        IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, proxy);
        std::string capabilities;
        for (unsigned offset = 0, n = 1; n > 0 && offset < 4096; offset += n) {
            auto high = static_cast<uint8_t>(offset >> 8), low = static_cast<uint8_t>(offset);
            simtest::writeI2C(service,
                              {0x83, 0xf3, high, low,
                               static_cast<uint8_t>(0x6e ^ 0x51 ^ 0x83 ^ 0xf3 ^ high ^ low)});
            IOReturn status;
            std::vector<uint8_t> reply = simtest::readI2C(service, 40, &status);
            ASSERT_EQ(reply[2], 0xe3);
            n = std::min(reply[1] - 0x83u, 32u);
            capabilities.append(reply.begin() + 5, reply.begin() + 5 + n);
        }
        EXPECT_EQ(capabilities.rfind("(prot(monitor)type(LCD)model(", 0), 0u);
        EXPECT_EQ(capabilities.back(), ')');
        EXPECT_EQ(std::count(capabilities.begin(), capabilities.end(), '('),
                  std::count(capabilities.begin(), capabilities.end(), ')'));
        EXPECT_GE(capabilities.size(), displays[i].minCapabilities);
        EXPECT_LE(capabilities.size(), displays[i].maxCapabilities);
        EXPECT_EQ(sim::monitorVcpCurrent(displays[i].monitor, 0x10), 60);
        CFRelease(service);
        IOObjectRelease(panel);
        IOObjectRelease(proxy);
    }
    EXPECT_EQ(findEntry("DCPAVServiceProxy", 2), IO_OBJECT_NULL);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
    EXPECT_EQ(sim::liveCfObjects(), 0);
}

}  // namespace
