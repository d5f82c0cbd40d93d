#include "ddc/probe.h"

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/vcp.h"

namespace {

constexpr std::array<uint32_t, 2> kChips{kDdcChip, kEdidChip};
constexpr std::array<uint32_t, 3> kDataAddresses{0x51, 0x50, 0x52};
static_assert(kChips.size() * kDataAddresses.size() == kProbeCombinations);

ProbeResult probeOne(const DdcLink& link, uint8_t vcp, uint32_t chip, uint32_t dataAddress)
{
    ProbeResult result;
    result.chip = chip;
    result.dataAddress = dataAddress;
    // Chip 0x50 is the EDID EEPROM: a request written there lands in the
    // EEPROM at that word address and, unless it is write-protected,
    // corrupts the display's EDID for good. It is reported, never touched.
    if (chip == kEdidChip) {
        return result;
    }
    // The bare write and the get transaction after it are one entry; the
    // get's own guard nests inside this one. Never retried: a probe shows
    // the bus as it is.
    DisplayLockGuard lock(link);
    std::array<uint8_t, 4> request{0x82, 0x01, vcp, 0};
    request[3] = ddcChecksum(dataAddress, std::span(request).first(3));
    // A bare write with no pause first: it shows whether anything
    // acknowledges at this address at all.
    result.written = ddcWrite(link, chip, dataAddress, request);
    result.ok = asReadVCPAt(link, vcp, chip, dataAddress, &result.current, &result.maximum);
    return result;
}

}  // namespace

std::array<ProbeResult, kProbeCombinations> probeAddresses(const DdcLink& link, uint8_t vcp)
{
    std::array<ProbeResult, kProbeCombinations> results;
    size_t next = 0;
    for (uint32_t chip : kChips) {
        for (uint32_t dataAddress : kDataAddresses) {
            results[next++] = probeOne(link, vcp, chip, dataAddress);
        }
    }
    return results;
}
