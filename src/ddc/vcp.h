// VCP feature read and write (MCCS settings such as brightness, 0x10).
#pragma once

#include <cstdint>

#include "discovery/display_table.h"

// Get VCP Feature at (chip, dataAddress): write the request twice, read the
// 12-byte reply. On success stores the 16-bit current and maximum values.
bool asReadVCPAt(const DisplayRecord& display, uint8_t vcp, uint32_t chip, uint32_t dataAddress,
                 int32_t* current, int32_t* maximum);

// Set VCP Feature, sent three times; true if any of the writes was accepted.
bool asWriteVCP(const DisplayRecord& display, uint8_t vcp, uint16_t value);
