#include <cstring>

#include "test_helpers.h"

namespace {

TEST(CfStringTest, CreationChecksTheEncoding) {
    struct Case {
        const char* text;
        CFStringEncoding encoding;
        bool created;
    } cases[] = {
        {"plain", kCFStringEncodingASCII, true},
        {"", kCFStringEncodingASCII, true},
        {"caf\xc3\xa9", kCFStringEncodingASCII, false},
        {"caf\xc3\xa9", kCFStringEncodingUTF8, true},
        {"\xf0\x9f\x96\xa5", kCFStringEncodingUTF8, true},
        {"bad \xc3", kCFStringEncodingUTF8, false},      // cut sequence
        {"bad \xc0\xaf", kCFStringEncodingUTF8, false},  // overlong
        {"bad \xed\xa0\x80", kCFStringEncodingUTF8, false},  // surrogate
        {"bad \xff", kCFStringEncodingUTF8, false},
    };
    for (const Case& c : cases) {
        CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, c.text, c.encoding);
        EXPECT_EQ(string != nullptr, c.created) << c.text;
        if (string != nullptr) CFRelease(string);
    }
}

TEST(CfStringTest, GetCStringNeedsRoomForTheNul) {
    simtest::Key key("abcd");
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(CFStringGetCString(key.get(), buffer, 5, kCFStringEncodingASCII));
    EXPECT_STREQ(buffer, "abcd");

    // One byte short: false, and what was written is not terminated.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(CFStringGetCString(key.get(), buffer, 4, kCFStringEncodingASCII));
    EXPECT_EQ(std::string(buffer, 5), "abcdx");
    EXPECT_FALSE(CFStringGetCString(key.get(), buffer, 0, kCFStringEncodingASCII));

    simtest::Key accented("caf\xc3\xa9");
    EXPECT_FALSE(CFStringGetCString(accented.get(), buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_TRUE(CFStringGetCString(accented.get(), buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "caf\xc3\xa9");
}

// Properties of every type, read back through the CF API.
class CfPropertyTest : public ::testing::Test {
protected:
    void SetUp() override {
        simtest::load(R"({"registry": {"name": "Root", "properties": {
            "int": -5, "big": 9223372036854775807, "real": 2.5, "whole": 42.0, "huge": 1e30,
            "yes": true, "nothing": null, "bytes": {"$data": "00ff10"},
            "dict": {"inner": {"deep": "x"}, "none": null, "list": [1, "two"]},
            "notData": {"$data": "00", "other": 1}}}})");
        root_ = IORegistryGetRootEntry(kIOMainPortDefault);
    }
    void TearDown() override { IOObjectRelease(root_); }

    CFTypeRef property(const char* name) {
        simtest::Key key(name);
        return IORegistryEntryCreateCFProperty(root_, key.get(), nullptr, 0);
    }

    io_registry_entry_t root_ = 0;
};

TEST_F(CfPropertyTest, NumbersConvertUnlessLossy) {
    struct Case {
        const char* name;
        bool exact;
        int64_t value;
    } cases[] = {
        {"int", true, -5},
        {"big", true, INT64_MAX},
        {"whole", true, 42},
        {"real", false, 2},
        {"huge", false, INT64_MAX},
    };
    for (const Case& c : cases) {
        CFTypeRef number = property(c.name);
        ASSERT_NE(number, nullptr) << c.name;
        EXPECT_EQ(CFGetTypeID(number), CFNumberGetTypeID());
        for (CFNumberType type : {kCFNumberSInt64Type, kCFNumberLongLongType}) {
            int64_t value = 0;
            EXPECT_EQ(CFNumberGetValue(static_cast<CFNumberRef>(number), type, &value), c.exact)
                << c.name;
            EXPECT_EQ(value, c.value) << c.name;
        }
        CFRelease(number);
    }
}

TEST_F(CfPropertyTest, TypesOfEveryKind) {
    struct Case {
        const char* name;
        CFTypeID type;
    } cases[] = {
        {"yes", CFBooleanGetTypeID()},  {"nothing", CFNullGetTypeID()},
        {"bytes", CFDataGetTypeID()},   {"dict", CFDictionaryGetTypeID()},
        {"notData", CFDictionaryGetTypeID()},
    };
    for (const Case& c : cases) {
        CFTypeRef value = property(c.name);
        ASSERT_NE(value, nullptr) << c.name;
        EXPECT_EQ(CFGetTypeID(value), c.type) << c.name;
        CFRelease(value);
    }
    CFTypeRef data = property("bytes");
    ASSERT_EQ(CFDataGetLength(static_cast<CFDataRef>(data)), 3);
    const UInt8* bytes = CFDataGetBytePtr(static_cast<CFDataRef>(data));
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 3), (std::vector<uint8_t>{0x00, 0xff, 0x10}));
    CFRelease(data);
}

TEST_F(CfPropertyTest, DictionaryOwnsItsMembers) {
    int before = sim::liveCfObjects();
    auto dict = static_cast<CFDictionaryRef>(property("dict"));
    // dict, 3 keys, inner dict, its key and value, null, list and its 2 elements.
    EXPECT_EQ(sim::liveCfObjects(), before + 11);

    simtest::Key inner("inner"), none("none"), missing("missing");
    const void* innerValue = CFDictionaryGetValue(dict, inner.get());
    ASSERT_NE(innerValue, nullptr);
    EXPECT_EQ(CFGetTypeID(innerValue), CFDictionaryGetTypeID());
    const void* nullValue = CFDictionaryGetValue(dict, none.get());
    ASSERT_NE(nullValue, nullptr);
    EXPECT_EQ(CFGetTypeID(nullValue), CFNullGetTypeID());
    EXPECT_EQ(CFDictionaryGetValue(dict, missing.get()), nullptr);
    // Getting a value adds no reference: one release frees the whole tree.
    CFRelease(dict);
    EXPECT_EQ(sim::liveCfObjects(), before);
}

using CfDeathTest = CfPropertyTest;

TEST_F(CfDeathTest, MisuseAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(CFRelease(nullptr), "CFRelease: called with NULL");
    EXPECT_DEATH(
        {
            CFTypeRef value = property("int");
            CFRelease(value);
            CFRelease(value);
        },
        "not alive");
    EXPECT_DEATH(
        {
            CFTypeRef value = property("int");
            CFDataGetLength(static_cast<CFDataRef>(value));
        },
        "expected a CFData, got a CFNumber");
}

}  // namespace
