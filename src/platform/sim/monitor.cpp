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

constexpr uint8_t kNewControlValue = 0x02;
constexpr uint8_t kActiveControl = 0x52;
constexpr uint8_t kPowerMode = 0xd6;

bool reportsPresses(const Monitor& monitor, uint8_t code)
{
    return monitor.newControlValue != NewControlValue::none &&
           (code == kNewControlValue || code == kActiveControl);
}

// 0x02: 2 while a press waits to be reported, else 1; 0x52: the oldest
// pressed code, or 0. Stuck and silent monitors answer
// the same whatever was pressed.
int pressReport(Monitor& monitor, uint8_t code)
{
    switch (monitor.newControlValue) {
        case NewControlValue::faithful:
            if (code == kNewControlValue) return monitor.pressed.empty() ? 1 : 2;
            if (monitor.pressed.empty()) return 0;
            // Taken off the list once the reply is read, not when asked:
            // a host may ask again before it reads.
            monitor.handsOutPress = true;
            return monitor.pressed.front();
        case NewControlValue::stuck: return code == kNewControlValue ? 2 : 0;
        case NewControlValue::never:
        case NewControlValue::none: break;
    }
    return code == kNewControlValue ? 1 : 0;
}

std::vector<uint8_t> vcpReply(Monitor& monitor, uint8_t code)
{
    auto found = monitor.vcp.find(code);
    bool special = reportsPresses(monitor, code);
    bool supported = special || found != monitor.vcp.end();
    int max = special ? 0xff : supported ? found->second.max : 0;
    int current = special ? pressReport(monitor, code) : supported ? found->second.current : 0;
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

void setVcp(Monitor& monitor, uint8_t code, int value)
{
    if (reportsPresses(monitor, code)) {
        // Writing 1 to 0x02 says the host has read what changed.
        if (code == kNewControlValue && value == 1 &&
            monitor.newControlValue == NewControlValue::faithful) {
            monitor.pressed.clear();
        }
        return;
    }
    auto found = monitor.vcp.find(code);
    if (found != monitor.vcp.end()) {
        found->second.current = std::min(value, found->second.max);
    }
}

// A sleeping monitor (0xD6 other than 1) wakes for any request but a Get
// or Set of 0xD6 itself.
void wakeFor(Monitor& monitor, bool powerRequest)
{
    auto power = monitor.vcp.find(kPowerMode);
    if (powerRequest || power == monitor.vcp.end() || power->second.current == 1) return;
    power->second.current = 1;
    appendTrace("wake " + monitor.key);
}

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
    monitor.handsOutPress = false;
    if ((dataAddress != kHostAddress && dataAddress != kOtherSourceAddress) || count == 0) return;
    auto address = static_cast<uint8_t>(dataAddress);
    if (bytes[count - 1] != checksum(kDisplayAddress ^ address, bytes, count - 1)) return;
    // From another address, only the requests of the codes that take it.
    bool otherSource = address != kHostAddress;
    if (otherSource && (count < 3 || monitor.sourceAddress.count(bytes[2]) == 0)) return;

    if (count == 4 && bytes[0] == 0x82 && bytes[1] == 0x01) {
        wakeFor(monitor, bytes[2] == kPowerMode);
        monitor.pending = vcpReply(monitor, bytes[2]);
    } else if (count == 6 && bytes[0] == 0x84 && bytes[1] == 0x03) {
        wakeFor(monitor, bytes[2] == kPowerMode);
        bool taken =
            address == setAddressOf(monitor, bytes[2]) && monitor.ignoreWrites.count(bytes[2]) == 0;
        if (taken) {
            setVcp(monitor, bytes[2], bytes[3] * 256 + bytes[4]);
        }
    } else if (count == 5 && bytes[0] == 0x83 && bytes[1] == 0xf3 && !otherSource) {
        wakeFor(monitor, false);
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

void monitorRead(Monitor& monitor, uint8_t* out, size_t count)
{
    static const std::vector<uint8_t> kNullMessage = {kDisplayAddress, 0x80, 0xbe};
    copyReply(monitor.pending.empty() ? kNullMessage : monitor.pending, out, count);
    if (monitor.handsOutPress && !monitor.pending.empty()) {
        monitor.handsOutPress = false;
        monitor.pressed.pop_front();
    }
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
