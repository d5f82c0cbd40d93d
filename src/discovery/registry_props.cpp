#include "discovery/registry_props.h"

#include <array>
#include <cstring>

namespace {

// Keys are plain ASCII names; a key that cannot be made yields null and the
// lookup then finds nothing.
CFStringRef makeKey(const char* key)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingASCII);
}

// Large enough for every field a property is read into (names, 128 bytes).
constexpr size_t kLongestField = 128;

}  // namespace

void releaseIfAny(CFTypeRef object)
{
    // CFRelease(NULL) crashes the process.
    if (object != nullptr) {
        CFRelease(object);
    }
}

bool isDictionary(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID();
}

CFTypeRef copyOwnProperty(io_registry_entry_t entry, const char* key)
{
    CFStringRef keyString = makeKey(key);
    if (keyString == nullptr) {
        return nullptr;
    }
    CFTypeRef value = IORegistryEntryCreateCFProperty(entry, keyString, kCFAllocatorDefault, 0);
    CFRelease(keyString);
    return value;
}

CFTypeRef searchProperty(io_registry_entry_t entry, const char* key)
{
    CFStringRef keyString = makeKey(key);
    if (keyString == nullptr) {
        return nullptr;
    }
    CFTypeRef value = IORegistryEntrySearchCFProperty(
        entry, kIOServicePlane, keyString, kCFAllocatorDefault, kIORegistryIterateRecursively);
    CFRelease(keyString);
    return value;
}

CFTypeRef dictValue(CFTypeRef dict, const char* key)
{
    if (!isDictionary(dict)) {
        return nullptr;
    }
    CFStringRef keyString = makeKey(key);
    if (keyString == nullptr) {
        return nullptr;
    }
    CFTypeRef value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), keyString);
    CFRelease(keyString);
    return value;
}

bool copyStringValue(CFTypeRef value, std::span<char> out)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID() ||
        out.size() > kLongestField) {
        return false;
    }
    // Convert into scratch first: a failed conversion leaves its buffer
    // undefined, and a text that does not fit must not become a cut id or name.
    std::array<char, kLongestField> scratch{};
    if (!CFStringGetCString(static_cast<CFStringRef>(value), scratch.data(),
                            static_cast<CFIndex>(out.size()), kCFStringEncodingUTF8)) {
        return false;
    }
    std::memcpy(out.data(), scratch.data(), std::strlen(scratch.data()) + 1);
    return true;
}

bool cfStringProp(io_registry_entry_t entry, const char* key, std::span<char> out)
{
    CFTypeRef value = searchProperty(entry, key);
    bool found = copyStringValue(value, out);
    releaseIfAny(value);
    return found;
}

bool dictNumber(CFTypeRef dict, int64_t* out)
{
    CFTypeRef value = dictValue(dict, "SerialNumber");
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) {
        return false;
    }
    long long number = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &number)) {
        return false;
    }
    *out = number;
    return true;
}
