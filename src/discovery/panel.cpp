#include "discovery/panel.h"

#include <cstdio>
#include <cstring>
#include <span>

#include "discovery/display_table.h"
#include "discovery/registry_props.h"

namespace {

using SerialText = std::array<char, 24>;

// The EDID base block's serial number field, bytes 12 to 15, little-endian.
bool serialFromEdid(io_registry_entry_t entry, SerialText* serial)
{
    CFTypeRef edid = copyOwnProperty(entry, "EDID");
    bool found = false;
    if (edid != nullptr && CFGetTypeID(edid) == CFDataGetTypeID() &&
        CFDataGetLength(static_cast<CFDataRef>(edid)) >= 16) {
        const UInt8* bytes = CFDataGetBytePtr(static_cast<CFDataRef>(edid));
        uint32_t number = static_cast<uint32_t>(bytes[12]) | static_cast<uint32_t>(bytes[13]) << 8 |
                          static_cast<uint32_t>(bytes[14]) << 16 |
                          static_cast<uint32_t>(bytes[15]) << 24;
        if (number != 0) {
            std::snprintf(serial->data(), serial->size(), "%08X", number);
            found = true;
        }
    }
    releaseIfAny(edid);
    return found;
}

// A 32-bit number reaches user space as a signed 32-bit CFNumber, so a
// serial of 0x80000000 or more reads back negative: it is taken back to the
// unsigned value it was.
int64_t unsignedSerial(int64_t number)
{
    constexpr int64_t kTwoTo32 = int64_t{1} << 32;
    return number >= -(kTwoTo32 / 2) && number < 0 ? number + kTwoTo32 : number;
}

// A "SerialNumber" in `dict` other than zero, as upper-case hex of at least
// 8 digits.
bool serialFromNumber(CFTypeRef dict, SerialText* serial)
{
    int64_t number = 0;
    if (!dictNumber(dict, &number)) {
        return false;
    }
    number = unsignedSerial(number);
    if (number < 1) {
        return false;
    }
    std::snprintf(serial->data(), serial->size(), "%08llX",
                  static_cast<unsigned long long>(number));
    return true;
}

bool serialFromDisplayAttributes(io_registry_entry_t entry, SerialText* serial)
{
    CFTypeRef attributes = copyOwnProperty(entry, "DisplayAttributes");
    CFTypeRef product = dictValue(attributes, "ProductAttributes");
    bool found = product != nullptr && serialFromNumber(product, serial);
    releaseIfAny(attributes);
    return found;
}

bool serialFromMetadata(io_registry_entry_t entry, SerialText* serial)
{
    CFTypeRef metadata = copyOwnProperty(entry, "Metadata");
    bool found = isDictionary(metadata) && serialFromNumber(metadata, serial);
    releaseIfAny(metadata);
    return found;
}

// The panel's serial from the first source that has one, or empty.
void panelSerial(io_registry_entry_t entry, SerialText* serial)
{
    serial->front() = '\0';
    if (!serialFromEdid(entry, serial) && !serialFromDisplayAttributes(entry, serial)) {
        serialFromMetadata(entry, serial);
    }
}

// DisplayAttributes → ProductAttributes → ProductName, searched from the
// panel node down; empty when any step is missing or the name does not fit.
void panelName(io_registry_entry_t entry, std::span<char> name)
{
    name[0] = '\0';
    CFTypeRef attributes = searchProperty(entry, "DisplayAttributes");
    CFTypeRef product = dictValue(attributes, "ProductAttributes");
    copyStringValue(dictValue(product, "ProductName"), name);
    releaseIfAny(attributes);
}

template <typename State>
auto* findSerialEntry(State& state, const char* uuid)
{
    for (int32_t i = 0; i < state.serialCount; i++) {
        if (std::strcmp(state.serials[i].uuid.data(), uuid) == 0) {
            return &state.serials[i];
        }
    }
    return static_cast<decltype(&state.serials[0])>(nullptr);
}

// A serial once stored for a UUID is kept; an empty one may be filled later.
// A full map is left alone entirely.
void rememberSerial(PanelWalkState* state, const char* uuid, const char* serial)
{
    if (uuid[0] == '\0' || state->serialCount >= kMaxSerialMapEntries) {
        return;
    }
    SerialMapEntry* entry = findSerialEntry(*state, uuid);
    if (entry == nullptr) {
        entry = &state->serials[state->serialCount++];
        copyText(entry->uuid, uuid);
        copyText(entry->serial, serial);
    } else if (entry->serial[0] == '\0' && serial[0] != '\0') {
        copyText(entry->serial, serial);
    }
}

}  // namespace

bool isPanelNodeName(const char* name)
{
    return std::strcmp(name, "AppleCLCD2") == 0 ||
           std::strcmp(name, "IOMobileFramebufferShim") == 0;
}

bool recordPanelNode(io_registry_entry_t entry, PanelWalkState* state)
{
    if (!cfStringProp(entry, "EDID UUID", state->lastPanelUuid)) {
        return false;
    }
    panelName(entry, state->lastPanelName);
    SerialText serial{};
    panelSerial(entry, &serial);
    rememberSerial(state, state->lastPanelUuid.data(), serial.data());
    return true;
}

const char* serialForUuid(const PanelWalkState& state, const char* uuid)
{
    const SerialMapEntry* entry = findSerialEntry(state, uuid);
    return entry != nullptr ? entry->serial.data() : nullptr;
}
