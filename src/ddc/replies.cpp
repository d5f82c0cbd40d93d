#include "ddc/replies.h"

namespace {

// Byte 1 of every reply: the top bit set, the message length in the rest.
constexpr uint8_t kLengthFlag = 0x80;
constexpr unsigned kLengthMask = 0x7F;
constexpr uint8_t kVcpReplyLengthByte = kLengthFlag | 8;
constexpr uint8_t kVcpReplyOpcode = 0x02;
constexpr size_t kVcpChecksumAt = 10;
constexpr uint8_t kUnsupportedResult = 0x01;

constexpr uint8_t kCapabilitiesReplyOpcode = 0xE3;
// A fragment's length counts the opcode and the two offset bytes before the
// data.
constexpr size_t kFragmentHeaderLength = 3;
constexpr size_t kFragmentDataAt = 5;

}  // namespace

uint8_t ddcReplyChecksum(std::span<const uint8_t> bytes)
{
    uint8_t sum = 0x50;
    for (uint8_t byte : bytes) {
        sum ^= byte;
    }
    return sum;
}

bool validVcpReply(std::span<const uint8_t> reply, uint8_t vcp)
{
    if (reply.size() <= kVcpChecksumAt) {
        return false;
    }
    return reply[1] == kVcpReplyLengthByte && reply[2] == kVcpReplyOpcode && reply[3] == 0x00 &&
           reply[4] == vcp &&
           reply[kVcpChecksumAt] == ddcReplyChecksum(reply.first(kVcpChecksumAt));
}

VcpReplyKind classifyVcpReply(std::span<const uint8_t> reply, uint8_t vcp)
{
    if (validVcpReply(reply, vcp)) {
        return VcpReplyKind::value;
    }
    if (reply.size() > kVcpChecksumAt && reply[1] == kVcpReplyLengthByte &&
        reply[2] == kVcpReplyOpcode && reply[3] == kUnsupportedResult && reply[4] == vcp &&
        reply[kVcpChecksumAt] == ddcReplyChecksum(reply.first(kVcpChecksumAt))) {
        return VcpReplyKind::unsupported;
    }
    return VcpReplyKind::invalid;
}

std::optional<std::span<const uint8_t>> parseCapabilitiesFragment(std::span<const uint8_t> reply,
                                                                  uint16_t offset)
{
    if (reply.size() < kFragmentDataAt || (reply[1] & kLengthFlag) == 0) {
        return std::nullopt;
    }
    size_t length = reply[1] & kLengthMask;
    size_t checksumAt = 2 + length;
    if (length < kFragmentHeaderLength || length > kFragmentHeaderLength + kMaxFragmentData ||
        checksumAt >= reply.size()) {
        return std::nullopt;
    }
    if (reply[2] != kCapabilitiesReplyOpcode || reply[3] != (offset >> 8) ||
        reply[4] != (offset & 0xFF) ||
        reply[checksumAt] != ddcReplyChecksum(reply.first(checksumAt))) {
        return std::nullopt;
    }
    return reply.subspan(kFragmentDataAt, length - kFragmentHeaderLength);
}
