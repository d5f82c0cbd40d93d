#include <cstdio>

#include "test_helpers.h"

namespace {

using simtest::findEntry;
using simtest::searchString;

// A valid monitor and registry to break one piece at a time.
std::string withMonitor(const std::string& monitor) {
    return R"({"registry": {"name": "R"}, "monitors": {"m": )" + monitor + "}}";
}
std::string withProperty(const std::string& value) {
    return R"({"registry": {"name": "R", "properties": {"p": )" + value + "}}}";
}

TEST(ScenarioTest, BrokenScenariosAreRejectedWithWhereAndWhat) {
    struct Case {
        std::string json;
        std::string message;
    } cases[] = {
        {"{", "invalid json at line 1, column 2"},
        {"{\n  \"registry\": {\"name\": \"x\",}\n}", "invalid json at line 2, column 28"},
        {"", "invalid json at line 1, column 1"},
        {"[]", "expected a json object"},
        {R"({"registry": {"name": "R"}, "extra": 1})", R"(unknown member "extra")"},
        {R"({"registry": {}})", "registry: missing name"},
        {R"({"registry": {"name": "R", "children": [{"name": "a"}, {"name": 7}]}})",
         "registry.children[1].name: expected a string"},
        {R"({"registry": {"name": ")" + std::string(128, 'n') + R"("}})",
         "registry.name: longer than 127 bytes"},
        {R"({"registry": {"name": "R", "children": {}}})", "registry.children: expected an array"},
        {R"({"registry": {"name": "R", "children": [{"name": "a", "children": [3]}]}})",
         "registry.children[0].children[0]: expected an object"},
        {R"({"registry": {"name": "R", "colour": 1}})", R"(registry: unknown member "colour")"},
        {R"({"registry": {"name": "R", "a\nb": 1}})", R"(registry: unknown member "a\nb")"},
        {R"({"registry": {"name": "R", "properties": []}})", "registry.properties: expected an object"},
        {withProperty(R"({"$data": "0g"})"), R"(registry.properties["p"].$data: expected only hex digits)"},
        {withProperty(R"({"$data": "abc"})"), R"(registry.properties["p"].$data: odd number of hex digits)"},
        {withProperty(R"({"$data": 1})"), R"(registry.properties["p"].$data: expected a string of hex digits)"},
        {withProperty(R"({"d": [{"$data": "x"}]})"),
         R"(registry.properties["p"]["d"][0].$data: odd number of hex digits)"},
        {withProperty("9223372036854775808"),
         R"(registry.properties["p"]: integer out of range of a 64-bit signed number)"},
        {R"({"registry": {"name": "R", "avservice": {"monitor": "x"}}})",
         R"(registry.avservice.monitor: no monitor "x")"},
        {R"({"registry": {"name": "R", "avservice": {"monitor": 1}}})",
         "registry.avservice.monitor: expected a string"},
        {R"({"registry": {"name": "R", "avservice": []}})", "registry.avservice: expected an object"},
        {R"({"registry": {"name": "R", "avservice": {"x": 1}}})",
         R"(registry.avservice: unknown member "x")"},
        {R"({"registry": {"name": "R", "children": [{"name": "a", "avservice": {"monitor": "m"}},
             {"name": "b", "avservice": {"monitor": "m"}}]}, "monitors": {"m": {}}})",
         R"(registry.children[1].avservice.monitor: monitor "m" already has a service)"},
        {R"({"monitors": []})", "monitors: expected an object"},
        {withMonitor("1"), R"(monitors["m"]: expected an object)"},
        {withMonitor(R"({"vpc": {}})"), R"(monitors["m"]: unknown member "vpc")"},
        {withMonitor(R"({"vcp": {"0x100": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["0x100"]: not a vcp code ("0x10" or "16", up to 255))"},
        {withMonitor(R"({"vcp": {"x10": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["x10"]: not a vcp code ("0x10" or "16", up to 255))"},
        {withMonitor(R"({"vcp": {"0x": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["0x"]: not a vcp code ("0x10" or "16", up to 255))"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1, "max": 2}, "16": {"current": 1, "max": 2}}})"),
         R"(monitors["m"].vcp["16"]: code given twice)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1, "max": 65536}}})"),
         R"(monitors["m"].vcp["0x10"].max: expected an integer from 0 to 65535)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": -1, "max": 5}}})"),
         R"(monitors["m"].vcp["0x10"].current: expected an integer from 0 to 65535)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1.5, "max": 5}}})"),
         R"(monitors["m"].vcp["0x10"].current: expected an integer from 0 to 65535)"},
        {withMonitor(R"({"vcp": {"0x10": {"current": 1}}})"), R"(monitors["m"].vcp["0x10"]: missing max)"},
        {withMonitor(R"({"capabilities": "caf\u00e9"})"), R"(monitors["m"].capabilities: expected ascii text)"},
        {withMonitor(R"({"capabilities": 1})"), R"(monitors["m"].capabilities: expected a string)"},
        {withMonitor(R"({"faults": {"failWrites": [-1]}})"),
         R"(monitors["m"].faults.failWrites[0]: expected a non-negative integer)"},
        {withMonitor(R"({"faults": {"failReads": "1"}})"),
         R"(monitors["m"].faults.failReads: expected an array of indices)"},
        {withMonitor(R"({"faults": {"replies": {"x": "00"}}})"),
         R"(monitors["m"].faults.replies["x"]: expected a read index (decimal digits) as key)"},
        {withMonitor(R"({"faults": {"replies": {"1": "abc"}}})"),
         R"(monitors["m"].faults.replies["1"]: odd number of hex digits)"},
        {withMonitor(R"({"faults": {"failAll": true}})"), R"(monitors["m"].faults: unknown member "failAll")"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::loadScenarioText(c.json, &error)) << c.json;
        EXPECT_EQ(error, c.message) << c.json;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(ScenarioTest, FailureLeavesAnEmptyMachine) {
    simtest::load(withMonitor(R"({"vcp": {"0x10": {"current": 1, "max": 2}}})"));
    std::string error;
    EXPECT_FALSE(sim::loadScenarioText(R"({"registry": {"name": "R", "children": [{"name": "a"}, 1]}})", &error));
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    EXPECT_EQ(simtest::nameOf(root), "Root");
    io_iterator_t iterator = 0;
    IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively, &iterator);
    EXPECT_TRUE(simtest::drain(iterator).empty());
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), std::nullopt);
    IOObjectRelease(root);
}

TEST(ScenarioTest, AcceptedForms) {
    // Nothing at all: a root with nothing below it.
    simtest::load("{}");
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    EXPECT_EQ(simtest::nameOf(root), "Root");
    IOObjectRelease(root);

    // Both spellings of a code, a 127-byte name, an empty service, an unused monitor.
    simtest::load(R"({"registry": {"name": ")" + std::string(127, 'n') + R"(",
        "avservice": {}}, "monitors": {"m": {"vcp": {"0xD6": {"current": 1, "max": 5},
        "16": {"current": 65535, "max": 65535}}, "faults": {"replies": {"0": ""}}}}})");
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xd6), 1);
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 65535);
    root = IORegistryGetRootEntry(kIOMainPortDefault);
    EXPECT_EQ(simtest::nameOf(root).size(), 127u);
    IOObjectRelease(root);
}

TEST(ScenarioTest, FileErrors) {
    std::string error;
    EXPECT_FALSE(sim::loadScenarioFile("/nonexistent/scenario.json", &error));
    EXPECT_EQ(error, "cannot open (no such file or directory)");
    EXPECT_FALSE(sim::loadScenarioFile(::testing::TempDir(), &error));
    EXPECT_EQ(error, "cannot read (is a directory)");
}

// The default machine must give discovery what the tool expects of a real
// one: each proxy tied to its own panel's EDID UUID (one through its
// ancestors, one through its own subtree), serials in EDID or attributes.
class DefaultScenarioTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::loadDefaultScenario();
        sim::setFastPauses(true);
    }
    void TearDown() override {
        EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
        EXPECT_EQ(sim::liveCfObjects(), 0);
    }

    // The proxy's EDID UUID, searched in its subtree, then in the subtrees
    // of its ancestors, nearest first; the depth at which it was found.
    static std::string edidUuidOf(io_registry_entry_t proxy, int* level) {
        *level = 0;
        std::string uuid = searchString(proxy, "EDID UUID");
        io_registry_entry_t current = proxy;
        while (uuid == "<none>" && *level < 6) {
            io_registry_entry_t parent = 0;
            if (IORegistryEntryGetParentEntry(current, kIOServicePlane, &parent) != KERN_SUCCESS) break;
            if (current != proxy) IOObjectRelease(current);
            current = parent;
            ++*level;
            uuid = searchString(current, "EDID UUID");
        }
        if (current != proxy) IOObjectRelease(current);
        return uuid;
    }

    static std::vector<uint8_t> edidOf(io_registry_entry_t panel) {
        simtest::Key key("EDID");
        CFTypeRef data = IORegistryEntryCreateCFProperty(panel, key.get(), nullptr, 0);
        if (data == nullptr) return {};
        const UInt8* bytes = CFDataGetBytePtr(static_cast<CFDataRef>(data));
        std::vector<uint8_t> edid(bytes, bytes + CFDataGetLength(static_cast<CFDataRef>(data)));
        CFRelease(data);
        return edid;
    }

    static int64_t serialNumberOf(io_registry_entry_t panel) {
        simtest::Key attributesKey("DisplayAttributes"), productKey("ProductAttributes"),
            serialKey("SerialNumber");
        CFTypeRef attributes = IORegistryEntryCreateCFProperty(panel, attributesKey.get(), nullptr, 0);
        auto product = static_cast<CFDictionaryRef>(
            CFDictionaryGetValue(static_cast<CFDictionaryRef>(attributes), productKey.get()));
        auto serial = static_cast<CFNumberRef>(CFDictionaryGetValue(product, serialKey.get()));
        int64_t value = -1;
        if (serial != nullptr) CFNumberGetValue(serial, kCFNumberLongLongType, &value);
        CFRelease(attributes);
        return value;
    }

    // The EDID UUID as the system derives it from EDID bytes 8 to 23.
    static std::string uuidFromEdid(const std::vector<uint8_t>& edid) {
        std::string text;
        char hex[3];
        for (size_t i = 8; i < 24; ++i) {
            if (i == 12 || i == 14 || i == 16 || i == 18) text += '-';
            std::snprintf(hex, sizeof hex, "%02X", edid[i]);
            text += hex;
        }
        return text;
    }

    // The whole capabilities string, read chunk by chunk over DDC/CI.
    static std::string capabilitiesOf(IOAVServiceRef service) {
        std::string text;
        for (unsigned offset = 0;; offset += 32) {
            uint8_t high = static_cast<uint8_t>(offset >> 8), low = static_cast<uint8_t>(offset);
            simtest::writeI2C(service, {0xe3, high, low, static_cast<uint8_t>(0x6e ^ 0x51 ^ 0xe3 ^ high ^ low)});
            IOReturn status;
            std::vector<uint8_t> reply = simtest::readI2C(service, 40, &status);
            size_t n = reply[1] - 0x83u;
            if (status != kIOReturnSuccess || n == 0) return text;
            text.append(reply.begin() + 4, reply.begin() + 4 + static_cast<long>(n));
        }
    }
};

TEST_F(DefaultScenarioTest, ExternalDisplaysAreTiedToTheirPanels) {
    struct Display {
        const char* monitor;
        int uuidLevel;  // 0: in the proxy's own subtree
        bool edidSerial;
    } displays[] = {{"left", 3, true}, {"right", 0, false}};

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(displays[i].monitor);
        // Panel i + 1 (the built-in panel is the first) comes before proxy i.
        io_registry_entry_t panel = findEntry("AppleCLCD2", i + 1);
        io_registry_entry_t proxy = findEntry("DCPAVServiceProxy", i);
        ASSERT_NE(panel, IO_OBJECT_NULL);
        ASSERT_NE(proxy, IO_OBJECT_NULL);
        EXPECT_LT(panel, proxy);  // entry handles follow depth-first order

        int level;
        std::string uuid = edidUuidOf(proxy, &level);
        EXPECT_EQ(level, displays[i].uuidLevel);
        EXPECT_EQ(uuid, searchString(panel, "EDID UUID", 0));

        std::vector<uint8_t> edid = edidOf(panel);
        ASSERT_TRUE(edid.size() == 128 || edid.size() == 256);
        EXPECT_EQ(uuidFromEdid(edid), uuid);
        for (size_t block = 0; block < edid.size(); block += 128) {
            unsigned sum = 0;
            for (size_t k = block; k < block + 128; ++k) sum += edid[k];
            EXPECT_EQ(sum % 256, 0u);
        }
        uint32_t edidSerial = edid[12] | edid[13] << 8 | edid[14] << 16 | uint32_t(edid[15]) << 24;
        EXPECT_EQ(edidSerial != 0, displays[i].edidSerial);
        EXPECT_GT(serialNumberOf(panel), 0);

        IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, proxy);
        ASSERT_NE(service, nullptr);
        std::string capabilities = capabilitiesOf(service);
        EXPECT_EQ(capabilities.rfind("(prot(monitor)type(LCD)model(", 0), 0u);
        EXPECT_EQ(capabilities.substr(capabilities.size() - 14), "mccs_ver(2.2))");
        if (i == 0) {
            EXPECT_GT(capabilities.size(), 300u);
            EXPECT_LT(capabilities.size(), 400u);
        } else {
            EXPECT_LT(capabilities.size(), 256u);
        }
        EXPECT_EQ(sim::monitorVcpCurrent(displays[i].monitor, 0x10), 60);
        CFRelease(service);
        IOObjectRelease(panel);
        IOObjectRelease(proxy);
    }
    // The built-in panel has no AV service anywhere near it.
    EXPECT_EQ(findEntry("DCPAVServiceProxy", 2), IO_OBJECT_NULL);
}

}  // namespace
