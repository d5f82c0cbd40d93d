#include "test_helpers.h"

namespace {

using simtest::drain;
using simtest::findEntry;
using simtest::nameOf;
using simtest::searchString;

// Root
// ├─ a            k=a (not a string key elsewhere)
// │  ├─ a1
// │  │  └─ a1x    k=a1x
// │  └─ a2        k=a2
// └─ b
//    └─ b1        k=b1
constexpr const char* kTree = R"({"registry": {"name": "Root", "properties": {"top": "root"},
  "children": [
    {"name": "a", "properties": {"own": "a"}, "children": [
      {"name": "a1", "children": [{"name": "a1x", "properties": {"k": "a1x"}}]},
      {"name": "a2", "properties": {"k": "a2"}}]},
    {"name": "b", "children": [{"name": "b1", "properties": {"k": "b1", "own": "b1"}}]}]}})";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { simtest::load(kTree); }
    void TearDown() override {
        EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
        EXPECT_EQ(sim::badRegistryReleases(), 0);
        EXPECT_EQ(sim::liveCfObjects(), 0);
    }
};

std::vector<std::string> iterate(io_registry_entry_t entry, IOOptionBits options) {
    io_iterator_t iterator = 0;
    EXPECT_EQ(IORegistryEntryCreateIterator(entry, kIOServicePlane, options, &iterator), KERN_SUCCESS);
    return drain(iterator);
}

TEST_F(RegistryTest, IteratorOrder) {
    using Names = std::vector<std::string>;
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_registry_entry_t a = findEntry("a");
    io_registry_entry_t a1 = findEntry("a1");
    struct Case {
        io_registry_entry_t entry;
        IOOptionBits options;
        Names expected;
    } cases[] = {
        {root, kIORegistryIterateRecursively, {"a", "a1", "a1x", "a2", "b", "b1"}},
        {root, 0, {"a", "b"}},
        {a, kIORegistryIterateRecursively, {"a1", "a1x", "a2"}},
        {a, 0, {"a1", "a2"}},
        {a1, kIORegistryIterateParents, {"a"}},
        {a1, kIORegistryIterateParents | kIORegistryIterateRecursively, {"a", "Root"}},
        {root, kIORegistryIterateParents | kIORegistryIterateRecursively, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(iterate(c.entry, c.options), c.expected) << nameOf(c.entry) << " " << c.options;
    }
    for (io_object_t held : {root, a, a1}) EXPECT_EQ(IOObjectRelease(held), KERN_SUCCESS);
}

TEST_F(RegistryTest, IteratorEndsAndStaysEnded) {
    io_registry_entry_t b = findEntry("b");
    io_iterator_t iterator = 0;
    ASSERT_EQ(IORegistryEntryCreateIterator(b, kIOServicePlane, 0, &iterator), KERN_SUCCESS);
    io_object_t b1 = IOIteratorNext(iterator);
    EXPECT_EQ(nameOf(b1), "b1");
    EXPECT_EQ(IOIteratorNext(iterator), IO_OBJECT_NULL);
    EXPECT_EQ(IOIteratorNext(iterator), IO_OBJECT_NULL);
    for (io_object_t held : {b1, iterator, b}) EXPECT_EQ(IOObjectRelease(held), KERN_SUCCESS);
}

TEST_F(RegistryTest, SearchOrder) {
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_registry_entry_t a = findEntry("a");
    io_registry_entry_t b1 = findEntry("b1");
    io_registry_entry_t a1 = findEntry("a1");
    // Depth first: a1x comes before a2 and b1.
    EXPECT_EQ(searchString(root, "k"), "a1x");
    EXPECT_EQ(searchString(a, "k"), "a1x");
    // The entry's own property comes before its descendants'.
    EXPECT_EQ(searchString(b1, "own"), "b1");
    EXPECT_EQ(searchString(root, "own"), "a");
    // Without the recursive flag the search is the entry only.
    EXPECT_EQ(searchString(a, "k", 0), "<none>");
    // Towards the root, nearest ancestor first.
    EXPECT_EQ(searchString(a1, "own", kIORegistryIterateRecursively | kIORegistryIterateParents), "a");
    EXPECT_EQ(searchString(a1, "top", kIORegistryIterateRecursively | kIORegistryIterateParents), "root");
    EXPECT_EQ(searchString(root, "missing"), "<none>");

    simtest::Key key("k");
    EXPECT_EQ(IORegistryEntryCreateCFProperty(a, key.get(), nullptr, 0), nullptr);
    EXPECT_EQ(IORegistryEntrySearchCFProperty(root, "IODeviceTree", key.get(), nullptr,
                                              kIORegistryIterateRecursively),
              nullptr);
    for (io_object_t held : {root, a, b1, a1}) EXPECT_EQ(IOObjectRelease(held), KERN_SUCCESS);
}

TEST_F(RegistryTest, EachLookupReturnsANewObject) {
    io_registry_entry_t a2 = findEntry("a2");
    simtest::Key key("k");
    int before = sim::liveCfObjects();
    CFTypeRef first = IORegistryEntryCreateCFProperty(a2, key.get(), nullptr, 0);
    CFTypeRef second = IORegistryEntrySearchCFProperty(a2, kIOServicePlane, key.get(), nullptr, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(sim::liveCfObjects(), before + 2);
    CFRelease(first);
    CFRelease(second);
    IOObjectRelease(a2);
}

TEST_F(RegistryTest, ParentEntry) {
    io_registry_entry_t a1x = findEntry("a1x");
    io_registry_entry_t parent = 0;
    ASSERT_EQ(IORegistryEntryGetParentEntry(a1x, kIOServicePlane, &parent), KERN_SUCCESS);
    EXPECT_EQ(nameOf(parent), "a1");
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_registry_entry_t none = 123;
    EXPECT_NE(IORegistryEntryGetParentEntry(root, kIOServicePlane, &none), KERN_SUCCESS);
    EXPECT_EQ(none, IO_OBJECT_NULL);
    EXPECT_NE(IORegistryEntryGetParentEntry(a1x, "IODeviceTree", &parent), KERN_SUCCESS);
    for (io_object_t held : {a1x, root, parent}) EXPECT_EQ(IOObjectRelease(held), KERN_SUCCESS);
}

TEST(RegistryReferenceTest, ReferencesAreCountedPerHandOut) {
    simtest::load(kTree);
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_registry_entry_t again = IORegistryGetRootEntry(kIOMainPortDefault);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 2);
    EXPECT_EQ(IOObjectRelease(root), KERN_SUCCESS);
    // One reference is left, so the handle still works.
    EXPECT_EQ(nameOf(again), "Root");
    EXPECT_EQ(IOObjectRelease(again), KERN_SUCCESS);
    EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
    // Nothing left: the handle is dead and releasing it again is misuse.
    EXPECT_EQ(nameOf(root), "<error>");
    EXPECT_NE(IOObjectRelease(root), KERN_SUCCESS);
    EXPECT_NE(IOObjectRelease(0x12345), KERN_SUCCESS);
    EXPECT_EQ(sim::badRegistryReleases(), 2);
    // Releasing the null handle does nothing, as on the real system.
    EXPECT_EQ(IOObjectRelease(IO_OBJECT_NULL), KERN_SUCCESS);
    EXPECT_EQ(sim::badRegistryReleases(), 2);
}

TEST_F(RegistryTest, ReleasedIteratorIsDead) {
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = 0;
    ASSERT_EQ(IORegistryEntryCreateIterator(root, kIOServicePlane, 0, &iterator), KERN_SUCCESS);
    EXPECT_EQ(IOObjectRelease(iterator), KERN_SUCCESS);
    EXPECT_EQ(IOIteratorNext(iterator), IO_OBJECT_NULL);
    IOObjectRelease(root);
}

TEST_F(RegistryTest, IteratorCreationCanBeMadeToFail) {
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = 0;
    sim::setIteratorCreationFails(true);
    EXPECT_NE(IORegistryEntryCreateIterator(root, kIOServicePlane, 1, &iterator), KERN_SUCCESS);
    sim::setIteratorCreationFails(false);
    EXPECT_EQ(iterator, IO_OBJECT_NULL);
    EXPECT_NE(IORegistryEntryCreateIterator(root, "IOPower", 1, &iterator), KERN_SUCCESS);
    IOObjectRelease(root);
}

// A registry of 100,000 entries in a chain and in a flat list: iterating
// and searching stay linear (a quadratic walk would take minutes here).
TEST(RegistryScaleTest, LargeRegistriesAreWalkedLinearly) {
    constexpr int kEntries = 100000;
    // Flat: the root and kEntries + 1 children. Chain: kEntries + 1 entries,
    // each the only child of the one before; the root is the first.
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
        ASSERT_EQ(IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                                &iterator),
                  KERN_SUCCESS);
        int count = 0;
        while (io_object_t entry = IOIteratorNext(iterator)) {
            ++count;
            IOObjectRelease(entry);
        }
        EXPECT_EQ(count, *text == flat ? kEntries + 1 : kEntries);
        IOObjectRelease(iterator);
        IOObjectRelease(root);
    }
}

}  // namespace
