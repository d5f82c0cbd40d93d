#include "ddc/framing.h"

#include <algorithm>
#include <array>

#include "ddc/retry.h"

uint8_t ddcChecksum(uint32_t dataAddress, std::span<const uint8_t> bytes)
{
    auto sum = static_cast<uint8_t>(0x6E ^ dataAddress);
    for (uint8_t byte : bytes) {
        sum ^= byte;
    }
    return sum;
}

namespace {

bool writeOnce(AvService service, uint32_t chip, uint32_t dataAddress,
               std::span<const uint8_t> bytes)
{
    if (service == nullptr) {
        return false;
    }
    // The service takes a mutable buffer; hand it a copy of the message.
    std::array<uint8_t, 8> message{};
    if (bytes.size() > message.size()) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), message.begin());
    return IOAVServiceWriteI2C(service, chip, dataAddress, message.data(),
                               static_cast<uint32_t>(bytes.size())) == kIOReturnSuccess;
}

bool readOnce(AvService service, uint32_t chip, uint32_t dataAddress, std::span<uint8_t> reply)
{
    std::fill(reply.begin(), reply.end(), 0);
    if (service == nullptr) {
        return false;
    }
    return IOAVServiceReadI2C(service, chip, dataAddress, reply.data(),
                              static_cast<uint32_t>(reply.size())) == kIOReturnSuccess;
}

}  // namespace

bool ddcWrite(const DdcLink& link, uint32_t chip, uint32_t dataAddress,
              std::span<const uint8_t> bytes)
{
    bool written = writeOnce(link.service, chip, dataAddress, bytes);
    countTransfer(link.counters, Transfer::write, written);
    return written;
}

bool ddcRead(const DdcLink& link, uint32_t chip, uint32_t dataAddress, std::span<uint8_t> reply)
{
    bool read = readOnce(link.service, chip, dataAddress, reply);
    countTransfer(link.counters, Transfer::read, read);
    return read;
}
