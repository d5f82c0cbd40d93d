#include <array>

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/vcp.h"

bool asWriteVCP(const DisplayRecord& display, uint8_t vcp, uint16_t value)
{
    std::array<uint8_t, 6> message{
        0x84, 0x03, vcp, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF), 0};
    message[5] = ddcChecksum(kDdcHostAddress, std::span(message).first(5));

    // Nothing acknowledges a Set VCP Feature, so it is sent three times and
    // all three are always made.
    bool accepted = false;
    DisplayLockGuard lock(display);  // all three writes
    for (int attempt = 0; attempt < 3; attempt++) {
        pauseMicroseconds(kDdcPauseMicros);
        if (ddcWrite(display, kDdcChip, kDdcHostAddress, message)) {
            accepted = true;
        }
    }
    return accepted;
}
