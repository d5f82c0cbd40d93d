// DDC/CI over the AV service: addresses, the checksum and the one wrapper
// through which every I2C transfer of the tool goes.
#pragma once

#include <cstdint>
#include <span>

#include "ddc/link.h"

inline constexpr uint32_t kDdcChip = 0x37;   // DDC/CI device address
inline constexpr uint32_t kEdidChip = 0x50;  // the display's EDID EEPROM
inline constexpr uint32_t kDdcHostAddress = 0x51;

// XOR of the destination address byte 0x6E, the data address and `bytes`.
uint8_t ddcChecksum(uint32_t dataAddress, std::span<const uint8_t> bytes);

// One I2C write or read on the display's service. A null handle fails
// without touching the bus, like a failed transfer. Each is counted in the
// link's transfer counters.
bool ddcWrite(const DdcLink& link, uint32_t chip, uint32_t dataAddress,
              std::span<const uint8_t> bytes);
bool ddcRead(const DdcLink& link, uint32_t chip, uint32_t dataAddress, std::span<uint8_t> reply);
