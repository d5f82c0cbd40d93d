// Small helpers for the simulated platform's tests: loading scenarios and
// reaching entries, properties and I2C bytes through the platform's C API.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform_impl.h"
#include "sim_control.h"

namespace simtest {

inline void load(std::string_view json)
{
    std::string error;
    ASSERT_TRUE(sim::loadScenarioText(json, &error)) << error;
    sim::setFastPauses(true);
}

// A CFString key that releases itself.
class Key {
public:
    explicit Key(const char* text)
        : ref_(CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8))
    {
    }
    ~Key() { CFRelease(ref_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    CFStringRef get() const { return ref_; }

private:
    CFStringRef ref_;
};

inline std::string nameOf(io_registry_entry_t entry)
{
    io_name_t name;
    if (IORegistryEntryGetName(entry, name) != KERN_SUCCESS) return "<error>";
    return name;
}

// Names of what the iterator returns, each entry released after use; the
// iterator is released too.
inline std::vector<std::string> drain(io_iterator_t iterator)
{
    std::vector<std::string> names;
    while (io_object_t entry = IOIteratorNext(iterator)) {
        names.push_back(nameOf(entry));
        IOObjectRelease(entry);
    }
    IOObjectRelease(iterator);
    return names;
}

// The first entry below the root with this name, with a reference the caller
// releases; 0 if there is none.
inline io_registry_entry_t findEntry(const std::string& name, int occurrence = 0)
{
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = 0;
    IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively, &iterator);
    io_registry_entry_t found = 0;
    while (io_object_t entry = IOIteratorNext(iterator)) {
        if (found == 0 && nameOf(entry) == name && occurrence-- == 0) {
            found = entry;
        } else {
            IOObjectRelease(entry);
        }
    }
    IOObjectRelease(iterator);
    IOObjectRelease(root);
    return found;
}

// The text of a CFString property found by a search, or "<none>".
inline std::string searchString(io_registry_entry_t entry, const char* key,
                                IOOptionBits options = kIORegistryIterateRecursively)
{
    Key name(key);
    CFTypeRef value =
        IORegistryEntrySearchCFProperty(entry, kIOServicePlane, name.get(), nullptr, options);
    if (value == nullptr) return "<none>";
    std::string text = "<not a string>";
    char buffer[256];
    if (CFGetTypeID(value) == CFStringGetTypeID() &&
        CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer,
                           kCFStringEncodingUTF8)) {
        text = buffer;
    }
    CFRelease(value);
    return text;
}

inline IOReturn writeI2C(IOAVServiceRef service, std::vector<uint8_t> bytes, uint32_t chip = 0x37,
                         uint32_t dataAddress = 0x51)
{
    return IOAVServiceWriteI2C(service, chip, dataAddress, bytes.data(),
                               static_cast<uint32_t>(bytes.size()));
}

// Reads `count` bytes into a buffer filled with 0xaa beforehand, so that
// untouched bytes show.
inline std::vector<uint8_t> readI2C(IOAVServiceRef service, uint32_t count, IOReturn* status,
                                    uint32_t chip = 0x37, uint32_t dataAddress = 0x51)
{
    std::vector<uint8_t> bytes(count, 0xaa);
    *status = IOAVServiceReadI2C(service, chip, dataAddress, bytes.data(), count);
    return bytes;
}

}  // namespace simtest
