#include <array>

#include "ddc/framing.h"
#include "ddc/vcp.h"

bool asReadVCPAt(const DisplayRecord& display, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum)
{
    std::array<uint8_t, 4> request{0x82, 0x01, vcp, 0};
    request[3] = ddcChecksum(dataAddress, std::span(request).first(3));

    // Many monitors drop the first request after a quiet bus, so it is sent
    // twice; a failed first write ends the transaction.
    pauseMicroseconds(kDdcPauseMicros);
    if (!ddcWrite(display, chip, dataAddress, request)) {
        return false;
    }
    pauseMicroseconds(kDdcPauseMicros);
    if (!ddcWrite(display, chip, dataAddress, request)) {
        return false;
    }
    std::array<uint8_t, 12> reply{};
    pauseMicroseconds(kDdcPauseMicros);
    if (!ddcRead(display, chip, dataAddress, reply)) {
        return false;
    }
    // Byte 1 is the length byte with its top bit set; bytes 3 and 4 are the
    // result code (0 = supported) and the echoed code.
    if ((reply[1] & 0x80) == 0 || reply[3] != 0x00 || reply[4] != vcp) {
        return false;
    }
    *maximum = reply[6] << 8 | reply[7];
    *current = reply[8] << 8 | reply[9];
    return true;
}
