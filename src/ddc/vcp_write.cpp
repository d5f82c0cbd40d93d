#include <array>

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/retry.h"
#include "ddc/vcp.h"

namespace {

// A monitor applies a new setting before it answers for it reliably.
constexpr uint32_t kVerifyPauseMicros = 50000;

// Nothing acknowledges a Set VCP Feature, so a setting is sent three times
// and all three are always made. An action is sent once: a monitor told
// three times to reset would reset three times.
bool writeSeveralTimes(const DdcLink& link, std::span<const uint8_t> message, uint32_t pauseMicros,
                       int times)
{
    bool accepted = false;
    DisplayLockGuard lock(link);  // all the writes
    for (int attempt = 0; attempt < times; attempt++) {
        pauseMicroseconds(pauseMicros);
        if (ddcWrite(link, kDdcChip, link.sourceAddress, message)) {
            accepted = true;
        }
    }
    return accepted;
}

bool writeVcp(const DdcLink& link, uint8_t vcp, uint16_t value, int times)
{
    std::array<uint8_t, 6> message{
        0x84, 0x03, vcp, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF), 0};
    // The checksum covers the address the request is actually sent from.
    message[5] = ddcChecksum(link.sourceAddress, std::span(message).first(5));
    return withRetries(link, [&](uint32_t pauseMicros) {
        return writeSeveralTimes(link, message, pauseMicros, times);
    });
}

}  // namespace

bool asWriteVCP(const DdcLink& link, uint8_t vcp, uint16_t value)
{
    return writeVcp(link, vcp, value, 3);
}

bool asWriteVCPAction(const DdcLink& link, uint8_t vcp, uint16_t value)
{
    return writeVcp(link, vcp, value, 1);
}

bool asWriteVCPVerified(const DdcLink& link, uint8_t vcp, uint16_t value)
{
    if (!asWriteVCP(link, vcp, value)) {
        return false;
    }
    // Outside any lock: another run may use the display meanwhile, and the
    // read back then shows what the monitor holds after it.
    pauseMicroseconds(linkPause(link, kVerifyPauseMicros));
    int32_t current = 0;
    int32_t maximum = 0;
    return asReadVCP(link, vcp, &current, &maximum) && current == value;
}
