// VCP feature read and write (MCCS settings such as brightness, 0x10).
#pragma once

#include <cstdint>

#include "ddc/link.h"

// Get VCP Feature at (chip, dataAddress), one attempt: write the request
// twice, read the 12-byte reply. On success stores the 16-bit current and
// maximum values.
bool asReadVCPAt(const DdcLink& link, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum);

// Get VCP Feature at the DDC/CI address, made again from its first pause up
// to the link's retry limit while it fails.
bool asReadVCP(const DdcLink& link, uint8_t vcp, int32_t* current, int32_t* maximum);

// Set VCP Feature, sent three times; true if any of the writes was accepted.
// When none was, the three writes are made again up to the link's retry limit.
bool asWriteVCP(const DdcLink& link, uint8_t vcp, uint16_t value);

// asWriteVCP, then, when a write was accepted, a pause and a read back
// (asReadVCP): true only when the monitor now holds `value`.
bool asWriteVCPVerified(const DdcLink& link, uint8_t vcp, uint16_t value);
