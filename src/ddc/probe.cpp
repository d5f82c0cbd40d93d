#include "ddc/probe.h"

#include <array>
#include <cstdio>

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/vcp.h"

namespace {

constexpr std::array<uint32_t, 2> kChips{kDdcChip, kEdidChip};
constexpr std::array<uint32_t, 3> kDataAddresses{0x51, 0x50, 0x52};

struct ProbeResult {
    bool written = false;
    bool ok = false;
    int32_t current = -1;
    int32_t maximum = -1;
};

ProbeResult probeOne(const DisplayRecord& display, uint8_t vcp, uint32_t chip, uint32_t dataAddress)
{
    ProbeResult result;
    // Chip 0x50 is the EDID EEPROM: a request written there lands in the
    // EEPROM at that word address and, unless it is write-protected,
    // corrupts the display's EDID for good. It is reported, never touched.
    if (chip == kEdidChip) {
        return result;
    }
    // The bare write and the get transaction after it are one entry; the
    // get's own guard nests inside this one. Never retried: a probe shows
    // the bus as it is.
    DisplayLockGuard lock(display);
    std::array<uint8_t, 4> request{0x82, 0x01, vcp, 0};
    request[3] = ddcChecksum(dataAddress, std::span(request).first(3));
    // A bare write with no pause first: it shows whether anything
    // acknowledges at this address at all.
    result.written = ddcWrite(display, chip, dataAddress, request);
    result.ok = asReadVCPAt(display, vcp, chip, dataAddress, &result.current, &result.maximum);
    return result;
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

void probeAddresses(const DisplayRecord& display, uint8_t vcp)
{
    std::putchar('{');
    bool first = true;
    for (uint32_t chip : kChips) {
        for (uint32_t dataAddress : kDataAddresses) {
            ProbeResult result = probeOne(display, vcp, chip, dataAddress);
            if (!first) {
                std::putchar(',');
            }
            first = false;
            std::printf("\"0x%02X/0x%02X\":{\"write\":%s,\"ok\":%s,\"current\":%d,\"max\":%d}",
                        chip, dataAddress, boolText(result.written), boolText(result.ok),
                        result.current, result.maximum);
        }
    }
    std::printf("}\n");
}
