#include "test_helpers.h"

namespace {

using simtest::drain;
using simtest::findEntry;
using simtest::nameOf;
using simtest::searchString;

// Root (top) ─┬─ a (own=a) ─┬─ a1 ── a1x (k=a1x)
//             │             └─ a2 (k=a2)
//             └─ b ── b1 (k=b1, own=b1)
constexpr const char* kTree = R"({"registry": {"name": "Root", "properties": {"top": "root"},
  "children": [
    {"name": "a", "properties": {"own": "a"}, "children": [
      {"name": "a1", "children": [{"name": "a1x", "properties": {"k": "a1x"}}]},
      {"name": "a2", "properties": {"k": "a2"}}]},
    {"name": "b", "children": [{"name": "b1", "properties": {"k": "b1", "own": "b1"}}]}]}})";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simtest::load(kTree);
        root_ = IORegistryGetRootEntry(kIOMainPortDefault);
    }
    void TearDown() override
    {
        IOObjectRelease(root_);
        EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
        EXPECT_EQ(sim::liveCfObjects(), 0);
    }
    io_registry_entry_t root_ = 0;
};

TEST_F(RegistryTest, IteratorOrder)
{
    io_registry_entry_t a = findEntry("a");
    io_registry_entry_t a1 = findEntry("a1");
    constexpr IOOptionBits kRecursive = kIORegistryIterateRecursively;
    constexpr IOOptionBits kParents = kIORegistryIterateParents;
    struct Case {
        io_registry_entry_t entry;
        IOOptionBits options;
        std::vector<std::string> expected;
    } cases[] = {
        {root_, kRecursive, {"a", "a1", "a1x", "a2", "b", "b1"}},
        {root_, 0, {"a", "b"}},
        {a, kRecursive, {"a1", "a1x", "a2"}},
        {a, 0, {"a1", "a2"}},
        {a1, kParents, {"a"}},
        {a1, kParents | kRecursive, {"a", "Root"}},
        {root_, kParents | kRecursive, {}},
    };
    for (const Case& c : cases) {
        io_iterator_t iterator = 0;
        ASSERT_EQ(IORegistryEntryCreateIterator(c.entry, kIOServicePlane, c.options, &iterator),
                  KERN_SUCCESS);
        EXPECT_EQ(drain(iterator), c.expected) << nameOf(c.entry) << " options " << c.options;
    }
    IOObjectRelease(a);
    IOObjectRelease(a1);
}

TEST_F(RegistryTest, SearchOrder)
{
    io_registry_entry_t a = findEntry("a");
    io_registry_entry_t a1 = findEntry("a1");
    io_registry_entry_t b1 = findEntry("b1");
    constexpr IOOptionBits kUp = kIORegistryIterateRecursively | kIORegistryIterateParents;
    struct Case {
        io_registry_entry_t entry;
        const char* key;
        IOOptionBits options;
        const char* found;
    } cases[] = {
        {root_, "k", kIORegistryIterateRecursively, "a1x"},  // depth first: a1x before a2, b1
        {a, "k", kIORegistryIterateRecursively, "a1x"},
        {b1, "own", kIORegistryIterateRecursively, "b1"},  // own properties first
        {root_, "own", kIORegistryIterateRecursively, "a"},
        {a, "k", 0, "<none>"},  // not recursive: the entry only
        {a1, "own", kUp, "a"},  // nearest ancestor first
        {a1, "top", kUp, "root"},
        {root_, "missing", kIORegistryIterateRecursively, "<none>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(searchString(c.entry, c.key, c.options), c.found)
            << nameOf(c.entry) << " " << c.key;
    }

    simtest::Key key("k");
    EXPECT_EQ(IORegistryEntryCreateCFProperty(a, key.get(), nullptr, 0), nullptr);
    EXPECT_EQ(IORegistryEntrySearchCFProperty(root_, "IODeviceTree", key.get(), nullptr, 1),
              nullptr);
    // Every lookup hands out an object of its own.
    CFTypeRef first = IORegistryEntrySearchCFProperty(a, kIOServicePlane, key.get(), nullptr, 1);
    CFTypeRef second = IORegistryEntrySearchCFProperty(a, kIOServicePlane, key.get(), nullptr, 1);
    EXPECT_NE(first, second);
    CFRelease(first);
    CFRelease(second);
    for (io_object_t held : {a, a1, b1}) IOObjectRelease(held);
}

TEST_F(RegistryTest, ParentsAndReferences)
{
    io_registry_entry_t a1x = findEntry("a1x");
    io_registry_entry_t parent = 0, none = 123;
    ASSERT_EQ(IORegistryEntryGetParentEntry(a1x, kIOServicePlane, &parent), KERN_SUCCESS);
    EXPECT_EQ(nameOf(parent), "a1");
    EXPECT_NE(IORegistryEntryGetParentEntry(root_, kIOServicePlane, &none), KERN_SUCCESS);
    EXPECT_EQ(none, IO_OBJECT_NULL);
    EXPECT_NE(IORegistryEntryGetParentEntry(a1x, "IODeviceTree", &none), KERN_SUCCESS);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 3);  // root, a1x, a1

    // One reference left after a release: the handle still works. None
    // left: it is dead, and releasing it again is misuse.
    io_registry_entry_t again = findEntry("a1");
    EXPECT_EQ(again, parent);
    EXPECT_EQ(IOObjectRelease(parent), KERN_SUCCESS);
    EXPECT_EQ(nameOf(again), "a1");
    EXPECT_EQ(IOObjectRelease(again), KERN_SUCCESS);
    EXPECT_EQ(nameOf(again), "<error>");
    EXPECT_NE(IOObjectRelease(again), KERN_SUCCESS);
    EXPECT_NE(IOObjectRelease(0x12345), KERN_SUCCESS);
    EXPECT_EQ(sim::badRegistryReleases(), 2);
    // Releasing the null handle does nothing, as on the real system.
    EXPECT_EQ(IOObjectRelease(IO_OBJECT_NULL), KERN_SUCCESS);
    EXPECT_EQ(sim::badRegistryReleases(), 2);

    io_iterator_t iterator = 0;
    sim::setIteratorCreationFails(true);
    EXPECT_NE(IORegistryEntryCreateIterator(root_, kIOServicePlane, 1, &iterator), KERN_SUCCESS);
    sim::setIteratorCreationFails(false);
    ASSERT_EQ(IORegistryEntryCreateIterator(root_, kIOServicePlane, 1, &iterator), KERN_SUCCESS);
    EXPECT_EQ(IOObjectRelease(iterator), KERN_SUCCESS);
    EXPECT_EQ(IOIteratorNext(iterator), IO_OBJECT_NULL);
    IOObjectRelease(a1x);
}

// Paths name an entry from the root down, and tell apart siblings of one
// name by their place among them, as the location suffix does on a real
// registry.
TEST(RegistryPathTest, PathsAreUniqueAndStable)
{
    simtest::load(R"({"registry": {"name": "Root", "children": [
      {"name": "p", "children": [{"name": "x"}, {"name": "y"}, {"name": "x"}]},
      {"name": "p", "children": [{"name": "x"}]}]}})");
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = 0;
    ASSERT_EQ(IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                            &iterator),
              KERN_SUCCESS);
    std::vector<std::string> paths;
    io_string_t path{};
    ASSERT_EQ(IORegistryEntryGetPath(root, kIOServicePlane, path), KERN_SUCCESS);
    paths.emplace_back(path);
    for (io_object_t entry = IOIteratorNext(iterator); entry != 0;
         entry = IOIteratorNext(iterator)) {
        EXPECT_EQ(IORegistryEntryGetPath(entry, kIOServicePlane, path), KERN_SUCCESS);
        paths.emplace_back(path);
        EXPECT_NE(IORegistryEntryGetPath(entry, "IODeviceTree", path), KERN_SUCCESS);
        IOObjectRelease(entry);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"IOService:/", "IOService:/p", "IOService:/p/x",
                                               "IOService:/p/y", "IOService:/p/x@1",
                                               "IOService:/p@1", "IOService:/p@1/x"}));
    IOObjectRelease(iterator);
    IOObjectRelease(root);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 0);

    // A path that does not fit is an error, not a cut path.
    std::string deep = R"({"name": ")" + std::string(120, 'n') + R"("})";
    for (int level = 0; level < 4; level++) {
        deep = R"({"name": ")" + std::string(120, 'n') + R"(", "children": [)" + deep + "]}";
    }
    simtest::load(R"({"registry": {"name": "Root", "children": [)" + deep + "]}}");
    io_registry_entry_t third = findEntry(std::string(120, 'n'), 2);
    io_registry_entry_t fifth = findEntry(std::string(120, 'n'), 4);
    EXPECT_EQ(IORegistryEntryGetPath(third, kIOServicePlane, path), KERN_SUCCESS);
    EXPECT_EQ(std::string(path).size(), 10 + 3 * 121);
    EXPECT_NE(IORegistryEntryGetPath(fifth, kIOServicePlane, path), KERN_SUCCESS);
    IOObjectRelease(third);
    IOObjectRelease(fifth);
}

// Entries side by side and in one chain are all iterated and searched. At
// 100,000 entries, where a quadratic walk would take minutes, the same is
// measured in bench/sim_input_bench.cpp.
TEST(RegistryWalkTest, WideAndDeepRegistriesAreWalkedAndSearchedWhole)
{
    constexpr int kEntries = 1000;
    std::string flat = R"({"registry": {"name": "Root", "children": [)";
    for (int i = 0; i < kEntries; ++i) flat += R"({"name": "e"},)";
    flat += R"({"name": "last", "properties": {"k": "found"}}]}})";
    std::string chain = R"({"registry": )";
    for (int i = 0; i < kEntries; ++i) chain += R"({"name": "e", "children": [)";
    chain += R"({"name": "last", "properties": {"k": "found"}})";
    for (int i = 0; i < kEntries; ++i) chain += "]}";
    chain += "}";

    for (const std::string* text : {&flat, &chain}) {
        simtest::load(*text);
        io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
        EXPECT_EQ(searchString(root, "k"), "found");
        io_iterator_t iterator = 0;
        IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                      &iterator);
        int count = 0;
        while (io_object_t entry = IOIteratorNext(iterator)) {
            ++count;
            IOObjectRelease(entry);
        }
        EXPECT_EQ(count, text == &flat ? kEntries + 1 : kEntries);
        IOObjectRelease(iterator);
        IOObjectRelease(root);
    }
}

// The counters the benchmarks report: AV service creation is a registry
// operation (a kernel call on the real system), a copied dictionary counts
// every object inside it, and a load starts both from zero.
TEST(WorkCountersTest, CountCallsAndObjects)
{
    simtest::load(R"({"registry": {"name": "Root",
        "properties": {"d": {"a": 1, "b": [true, "x"]}},
        "children": [{"name": "proxy", "avservice": {}}]}})");
    EXPECT_EQ(sim::registryOperations(), 0u);
    EXPECT_EQ(sim::cfObjectsCreated(), 0u);
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_registry_entry_t proxy = findEntry("proxy");

    uint64_t operations = sim::registryOperations();
    uint64_t objects = sim::cfObjectsCreated();
    IOAVServiceRef service = IOAVServiceCreateWithService(nullptr, proxy);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(sim::registryOperations() - operations, 1u);
    EXPECT_EQ(sim::cfObjectsCreated() - objects, 1u);

    {
        simtest::Key key("d");
        objects = sim::cfObjectsCreated();
        CFTypeRef copy = IORegistryEntryCreateCFProperty(root, key.get(), nullptr, 0);
        // The dictionary, its two keys, the number, the array and its two elements.
        EXPECT_EQ(sim::cfObjectsCreated() - objects, 7u);
        CFRelease(copy);
    }

    CFRelease(service);
    EXPECT_EQ(sim::liveAvServices(), 0);
    IOObjectRelease(proxy);
    IOObjectRelease(root);
    simtest::load(R"({"registry": {"name": "Root"}})");
    EXPECT_EQ(sim::registryOperations(), 0u);
}

}  // namespace
