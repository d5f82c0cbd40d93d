#include <array>

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/replies.h"
#include "ddc/retry.h"
#include "ddc/vcp.h"

namespace {

std::array<uint8_t, 4> vcpRequest(uint8_t vcp, uint32_t dataAddress)
{
    std::array<uint8_t, 4> request{0x82, 0x01, vcp, 0};
    request[3] = ddcChecksum(dataAddress, std::span(request).first(3));
    return request;
}

// Many monitors drop the first request after a quiet bus, so it is sent
// twice; a failed first write ends the transaction.
bool sendVcpRequest(const DdcLink& link, uint32_t chip, uint32_t dataAddress,
                    std::span<const uint8_t> request, uint32_t pauseMicros)
{
    pauseMicroseconds(pauseMicros);
    if (!ddcWrite(link, chip, dataAddress, request)) {
        return false;
    }
    pauseMicroseconds(pauseMicros);
    return ddcWrite(link, chip, dataAddress, request);
}

// One whole transaction with `pauseMicros` before each operation.
VcpRead readVcpOnce(const DdcLink& link, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                    uint32_t pauseMicros, int32_t* current, int32_t* maximum)
{
    DisplayLockGuard lock(link);  // the whole transaction, whichever way it ends
    std::array<uint8_t, 4> request = vcpRequest(vcp, dataAddress);
    if (!sendVcpRequest(link, chip, dataAddress, request, pauseMicros)) {
        return VcpRead::failed;
    }
    std::array<uint8_t, kVcpReplySize> reply{};
    pauseMicroseconds(pauseMicros);
    if (!ddcRead(link, chip, dataAddress, reply)) {
        return VcpRead::failed;
    }
    switch (classifyVcpReply(reply, vcp)) {
        case VcpReplyKind::value: break;
        case VcpReplyKind::unsupported: return VcpRead::unsupported;
        case VcpReplyKind::invalid: return VcpRead::failed;
    }
    // Bytes 6 and 7 are the maximum, 8 and 9 the current value, high byte first.
    *maximum = reply[6] << 8 | reply[7];
    *current = reply[8] << 8 | reply[9];
    return VcpRead::value;
}

}  // namespace

bool asReadVCPAt(const DdcLink& link, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum)
{
    return readVcpOnce(link, vcp, chip, dataAddress, kDdcPauseMicros, current, maximum) ==
           VcpRead::value;
}

VcpRead readVCPFeature(const DdcLink& link, uint8_t vcp, int32_t* current, int32_t* maximum)
{
    VcpRead outcome = VcpRead::failed;
    // A retry cannot change the monitor's mind about a code it lacks.
    withRetries(link, [&](uint32_t pauseMicros) {
        outcome =
            readVcpOnce(link, vcp, kDdcChip, link.sourceAddress, pauseMicros, current, maximum);
        return outcome != VcpRead::failed;
    });
    return outcome;
}

bool asReadVCP(const DdcLink& link, uint8_t vcp, int32_t* current, int32_t* maximum)
{
    return readVCPFeature(link, vcp, current, maximum) == VcpRead::value;
}
