#include <cstring>

#include "test_helpers.h"

namespace {

TEST(CfStringTest, CreationChecksTheEncoding)
{
    struct Case {
        const char* text;
        CFStringEncoding encoding;
        bool created;
    } cases[] = {
        {"plain", kCFStringEncodingASCII, true},
        {"caf\xc3\xa9", kCFStringEncodingASCII, false},
        {"caf\xc3\xa9", kCFStringEncodingUTF8, true},
        {"cut \xc3", kCFStringEncodingUTF8, false},
        {"overlong \xc0\xaf", kCFStringEncodingUTF8, false},
    };
    for (const Case& c : cases) {
        CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, c.text, c.encoding);
        EXPECT_EQ(string != nullptr, c.created) << c.text;
        if (string != nullptr) CFRelease(string);
    }
}

TEST(CfStringTest, GetCStringNeedsRoomForTheNul)
{
    simtest::Key key("abcd");
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CFStringGetCString(key.get(), buffer, 5, kCFStringEncodingASCII));
    EXPECT_STREQ(buffer, "abcd");
    // One byte short: false, and what was written is not terminated.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(CFStringGetCString(key.get(), buffer, 4, kCFStringEncodingASCII));
    EXPECT_EQ(std::string(buffer, 5), "abcdx");

    simtest::Key accented("caf\xc3\xa9");
    EXPECT_FALSE(CFStringGetCString(accented.get(), buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_TRUE(CFStringGetCString(accented.get(), buffer, sizeof buffer, kCFStringEncodingUTF8));
}

class CfPropertyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simtest::load(R"({"registry": {"name": "Root", "properties": {
            "int": -5, "big": 9223372036854775807, "real": 2.5, "whole": 42.0, "huge": 1e30,
            "yes": true, "bytes": {"$data": "00ff10"}, "notData": {"$data": "00", "other": 1},
            "dict": {"inner": {"deep": "x"}, "none": null, "list": [1, "two"]}}}})");
        root_ = IORegistryGetRootEntry(kIOMainPortDefault);
    }
    void TearDown() override { IOObjectRelease(root_); }

    CFTypeRef property(const char* name)
    {
        simtest::Key key(name);
        return IORegistryEntryCreateCFProperty(root_, key.get(), nullptr, 0);
    }

    io_registry_entry_t root_ = 0;
};

TEST_F(CfPropertyTest, NumbersConvertUnlessLossy)
{
    struct Case {
        const char* name;
        bool exact;
        int64_t value;
    } cases[] = {
        {"int", true, -5},  {"big", true, INT64_MAX},   {"whole", true, 42},
        {"real", false, 2}, {"huge", false, INT64_MAX},
    };
    for (const Case& c : cases) {
        CFTypeRef number = property(c.name);
        ASSERT_EQ(CFGetTypeID(number), CFNumberGetTypeID()) << c.name;
        for (CFNumberType type : {kCFNumberSInt64Type, kCFNumberLongLongType}) {
            int64_t value = 0;
            EXPECT_EQ(CFNumberGetValue(static_cast<CFNumberRef>(number), type, &value), c.exact)
                << c.name;
            EXPECT_EQ(value, c.value) << c.name;
        }
        CFRelease(number);
    }
    for (auto [name, type] : {std::pair{"yes", CFBooleanGetTypeID()},
                              {"bytes", CFDataGetTypeID()},
                              {"notData", CFDictionaryGetTypeID()}}) {
        CFTypeRef value = property(name);
        EXPECT_EQ(CFGetTypeID(value), type) << name;
        CFRelease(value);
    }
}

TEST_F(CfPropertyTest, DictionaryOwnsItsMembers)
{
    int before = sim::liveCfObjects();
    auto dict = static_cast<CFDictionaryRef>(property("dict"));
    // dict, 3 keys, inner dict, its key and value, null, list and its 2 elements.
    EXPECT_EQ(sim::liveCfObjects(), before + 11);
    {
        simtest::Key inner("inner"), none("none"), missing("missing");
        EXPECT_EQ(CFGetTypeID(CFDictionaryGetValue(dict, inner.get())), CFDictionaryGetTypeID());
        EXPECT_EQ(CFGetTypeID(CFDictionaryGetValue(dict, none.get())), CFNullGetTypeID());
        EXPECT_EQ(CFDictionaryGetValue(dict, missing.get()), nullptr);
    }
    // Getting a value adds no reference: one release frees the whole tree.
    CFRelease(dict);
    EXPECT_EQ(sim::liveCfObjects(), before);
}

using CfDeathTest = CfPropertyTest;

TEST_F(CfDeathTest, MisuseAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(CFRelease(nullptr), "CFRelease: called with NULL");
    CFTypeRef value = property("int");
    EXPECT_DEATH(CFDataGetLength(static_cast<CFDataRef>(value)),
                 "expected a CFData, got a CFNumber");
    CFRelease(value);
    EXPECT_DEATH(CFRelease(value), "not alive");
}

}  // namespace
