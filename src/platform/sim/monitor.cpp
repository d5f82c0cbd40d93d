// A monitor's DDC/CI behaviour at chip 0x37, framed as the DDC/CI standard
// frames it: requests arrive as I2C writes to data address 0x51, each with
// its length byte and checksum, and the single pending reply is what every
// following read returns until the next write.
#include <algorithm>
#include <cstring>

#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

constexpr uint8_t kHostAddress = 0x51;
constexpr uint8_t kOtherSourceAddress = 0x50;  // the only other one a monitor may take
constexpr uint8_t kDisplayAddress = 0x6e;
constexpr size_t kFragmentSize = 32;

// XOR of `seed` and `count` bytes.
uint8_t checksum(uint8_t seed, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) seed ^= bytes[i];
    return seed;
}

std::vector<uint8_t> vcpReply(const Monitor& monitor, uint8_t code)
{
    auto found = monitor.vcp.find(code);
    bool supported = found != monitor.vcp.end();
    int max = supported ? found->second.max : 0;
    int current = supported ? found->second.current : 0;
    std::vector<uint8_t> reply = {
        kDisplayAddress,
        0x88,
        0x02,
        static_cast<uint8_t>(supported ? 0x00 : 0x01),
        code,
        0x00,
        static_cast<uint8_t>(max >> 8),
        static_cast<uint8_t>(max & 0xff),
        static_cast<uint8_t>(current >> 8),
        static_cast<uint8_t>(current & 0xff),
    };
    reply.push_back(checksum(0x50, reply.data(), reply.size()));
    return reply;
}

// Capabilities Reply: the offset echoed, then up to 32 bytes of the string
// from it; none at or past the end, which marks the end of the string.
std::vector<uint8_t> capabilitiesReply(const Monitor& monitor, uint8_t offsetHigh,
                                       uint8_t offsetLow)
{
    size_t offset = static_cast<size_t>(offsetHigh) * 256 + offsetLow;
    const std::string& text = monitor.capabilities;
    size_t n = offset < text.size() ? std::min(kFragmentSize, text.size() - offset) : 0;
    std::vector<uint8_t> reply = {kDisplayAddress, static_cast<uint8_t>(0x80 + 3 + n), 0xe3,
                                  offsetHigh, offsetLow};
    if (n > 0) reply.insert(reply.end(), text.data() + offset, text.data() + offset + n);
    reply.push_back(checksum(0x50, reply.data(), reply.size()));
    return reply;
}

}  // namespace

namespace {

// The data address a Set VCP Feature of `code` must come from.
uint8_t setAddressOf(const Monitor& monitor, int code)
{
    auto found = monitor.sourceAddress.find(code);
    return found != monitor.sourceAddress.end() ? found->second : kHostAddress;
}

}  // namespace

void monitorWrite(Monitor& monitor, uint32_t dataAddress, const uint8_t* bytes, size_t count)
{
    monitor.pending.clear();
    if ((dataAddress != kHostAddress && dataAddress != kOtherSourceAddress) || count == 0) return;
    auto address = static_cast<uint8_t>(dataAddress);
    if (bytes[count - 1] != checksum(kDisplayAddress ^ address, bytes, count - 1)) return;
    // From another address, only the requests of the codes that take it.
    bool otherSource = address != kHostAddress;
    if (otherSource && (count < 3 || monitor.sourceAddress.count(bytes[2]) == 0)) return;

    if (count == 4 && bytes[0] == 0x82 && bytes[1] == 0x01) {
        monitor.pending = vcpReply(monitor, bytes[2]);
    } else if (count == 6 && bytes[0] == 0x84 && bytes[1] == 0x03) {
        auto found = monitor.vcp.find(bytes[2]);
        bool taken =
            address == setAddressOf(monitor, bytes[2]) && monitor.ignoreWrites.count(bytes[2]) == 0;
        if (found != monitor.vcp.end() && taken) {
            found->second.current = std::min(bytes[3] * 256 + bytes[4], found->second.max);
        }
    } else if (count == 5 && bytes[0] == 0x83 && bytes[1] == 0xf3 && !otherSource) {
        monitor.pending = capabilitiesReply(monitor, bytes[2], bytes[3]);
    }
    // Anything else, such as a message without its length byte: acknowledged
    // and ignored.
}

void copyReply(const std::vector<uint8_t>& reply, uint8_t* out, size_t count)
{
    if (count == 0) return;
    size_t copied = std::min(count, reply.size());
    if (copied > 0) std::memcpy(out, reply.data(), copied);
    std::memset(out + copied, 0, count - copied);
}

void monitorRead(const Monitor& monitor, uint8_t* out, size_t count)
{
    static const std::vector<uint8_t> kNullMessage = {kDisplayAddress, 0x80, 0xbe};
    copyReply(monitor.pending.empty() ? kNullMessage : monitor.pending, out, count);
}

std::optional<int> monitorVcpCurrent(std::string_view monitorKey, int code)
{
    for (const Monitor& monitor : state().machine.monitors) {
        if (monitor.key != monitorKey) continue;
        auto found = monitor.vcp.find(code);
        if (found == monitor.vcp.end()) return std::nullopt;
        return found->second.current;
    }
    return std::nullopt;
}

}  // namespace sim
