// Checks of the replies a monitor gives, as DDC/CI frames them: a reply
// counts only when every byte that carries meaning is what the request asked
// for and the checksum matches, so that a null message, a stale reply to
// another request or a garbled byte never reads as a value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Bytes of a Get VCP Feature reply as read (the display address 0x6E first).
inline constexpr size_t kVcpReplySize = 12;
// Bytes read for one capabilities fragment: room for its 32 data bytes.
inline constexpr size_t kCapabilitiesReplySize = 40;
// Most data bytes one capabilities fragment carries.
inline constexpr size_t kMaxFragmentData = 32;

// XOR of 0x50 and `bytes`: the checksum a monitor puts after its reply.
uint8_t ddcReplyChecksum(std::span<const uint8_t> bytes);

// What a Get VCP Feature reply says.
enum class VcpReplyKind {
    value,        // the code's current and maximum values
    unsupported,  // result code 01: the monitor has no such code, a definite answer
    invalid,      // no reply to this request: garbled, stale or a null message
};

// Classifies `reply` to Get VCP Feature for `vcp`: a value when
// validVcpReply holds; unsupported when every byte is as there but the
// result code is 01.
VcpReplyKind classifyVcpReply(std::span<const uint8_t> reply, uint8_t vcp);

// True when `reply` answers Get VCP Feature for `vcp` with a supported code:
// length byte 0x88, opcode 0x02, result code 0x00, the code echoed, and the
// checksum after the ten bytes of the message.
bool validVcpReply(std::span<const uint8_t> reply, uint8_t vcp);

// The data bytes of a capabilities fragment that answers a request for
// `offset` (0 to 32 of them; none marks the end of the string), or nothing
// when `reply` is not such a fragment.
std::optional<std::span<const uint8_t>> parseCapabilitiesFragment(std::span<const uint8_t> reply,
                                                                  uint16_t offset);
