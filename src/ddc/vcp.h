// VCP feature read and write (MCCS settings such as brightness, 0x10).
#pragma once

#include <cstdint>

#include "ddc/link.h"

// Get VCP Feature at (chip, dataAddress), one attempt: write the request
// twice, read the 12-byte reply. On success stores the 16-bit current and
// maximum values.
bool asReadVCPAt(const DdcLink& link, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum);

// What a Get VCP Feature transaction found out.
enum class VcpRead {
    value,        // current and maximum were stored
    unsupported,  // the monitor answered that it has no such code
    failed,       // no valid answer
};

// Get VCP Feature at the DDC/CI address, made again from its first pause up
// to the link's retry limit while it fails; an "unsupported" answer is
// definite and is never asked again.
VcpRead readVCPFeature(const DdcLink& link, uint8_t vcp, int32_t* current, int32_t* maximum);

// readVCPFeature, true only for a value.
bool asReadVCP(const DdcLink& link, uint8_t vcp, int32_t* current, int32_t* maximum);

// Set VCP Feature, sent three times; true if any of the writes was accepted.
// When none was, the three writes are made again up to the link's retry limit.
bool asWriteVCP(const DdcLink& link, uint8_t vcp, uint16_t value);

// Set VCP Feature of a code that triggers an action (a factory reset, say),
// sent once: a monitor told three times would act three times. The write is
// made again, up to the link's retry limit, only when it failed.
bool asWriteVCPAction(const DdcLink& link, uint8_t vcp, uint16_t value);

// asWriteVCP, then, when a write was accepted, a pause and a read back
// (asReadVCP): true only when the monitor now holds `value`.
bool asWriteVCPVerified(const DdcLink& link, uint8_t vcp, uint16_t value);
