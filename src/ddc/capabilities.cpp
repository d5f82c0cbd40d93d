#include "ddc/capabilities.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "ddc/display_lock.h"
#include "ddc/framing.h"
#include "ddc/replies.h"
#include "ddc/retry.h"

namespace {

// Monitors take a while to assemble the string after the first request.
constexpr uint32_t kCapabilitiesStartPauseMicros = 50000;

// The text gathered so far and what decides when it is whole.
struct Gathered {
    CapabilitiesText* text;
    size_t length = 0;
    int32_t opened = 0;  // '(' seen
    int32_t closed = 0;  // ')' seen
    bool sawNul = false;
};

// Capabilities Request: length byte 0x83, opcode 0xF3, the offset high byte
// first, and the checksum.
std::array<uint8_t, 5> capabilitiesRequest(uint16_t offset)
{
    std::array<uint8_t, 5> request{0x83, 0xF3, static_cast<uint8_t>(offset >> 8),
                                   static_cast<uint8_t>(offset & 0xFF), 0};
    request[4] = ddcChecksum(kDdcHostAddress, std::span(request).first(4));
    return request;
}

using FragmentReply = std::array<uint8_t, kCapabilitiesReplySize>;

// One request and its fragment's data, or nothing when either transfer
// failed or the reply is not the fragment asked for.
std::optional<std::span<const uint8_t>> fetchFragmentOnce(const DdcLink& link, uint16_t offset,
                                                          uint32_t pauseMicros,
                                                          FragmentReply* reply)
{
    DisplayLockGuard lock(link);  // one fragment: released between fragments
    std::array<uint8_t, 5> request = capabilitiesRequest(offset);
    pauseMicroseconds(pauseMicros);
    if (!ddcWrite(link, kDdcChip, kDdcHostAddress, request)) {
        return std::nullopt;
    }
    pauseMicroseconds(pauseMicros);
    if (!ddcRead(link, kDdcChip, kDdcHostAddress, *reply)) {
        return std::nullopt;
    }
    return parseCapabilitiesFragment(*reply, offset);
}

// The fragment at `offset`, asked for again up to the run's retry count.
std::optional<std::span<const uint8_t>> fetchFragment(const DdcLink& link, uint16_t offset,
                                                      FragmentReply* reply)
{
    std::optional<std::span<const uint8_t>> data;
    withRetries(link, [&](uint32_t pauseMicros) {
        data = fetchFragmentOnce(link, offset, pauseMicros, reply);
        return data.has_value();
    });
    return data;
}

// Appends `data` up to a NUL and as far as the buffer has room.
void append(std::span<const uint8_t> data, Gathered* gathered)
{
    size_t room = gathered->text->size() - 1 - gathered->length;
    for (uint8_t byte : data.first(std::min(data.size(), room))) {
        if (byte == 0) {
            gathered->sawNul = true;
            break;
        }
        gathered->opened += byte == '(' ? 1 : 0;
        gathered->closed += byte == ')' ? 1 : 0;
        (*gathered->text)[gathered->length++] = static_cast<char>(byte);
    }
    (*gathered->text)[gathered->length] = '\0';
}

// The string is whole. Parentheses that close end a text that starts with
// '('; a text that does not is read on to the monitor's end of the string,
// as real monitors send strings without the outer pair.
bool finished(const Gathered& gathered)
{
    const CapabilitiesText& text = *gathered.text;
    bool closed = text[0] == '(' && gathered.opened == gathered.closed;
    return gathered.sawNul || closed || gathered.length == text.size() - 1;
}

}  // namespace

size_t asReadCapabilities(const DdcLink& link, CapabilitiesText* text, bool* whole)
{
    Gathered gathered{text};
    bool ended = false;
    (*text)[0] = '\0';

    // The first request is not answered; whether it was accepted shows in
    // the requests that follow, so it is never made again.
    DisplayLockGuard startLock(link);  // the first request and its pause
    pauseMicroseconds(linkPause(link, kDdcPauseMicros));
    ddcWrite(link, kDdcChip, kDdcHostAddress, capabilitiesRequest(0));
    pauseMicroseconds(linkPause(link, kCapabilitiesStartPauseMicros));
    startLock.release();

    uint16_t offset = 0;
    for (int fragment = 0; fragment < kMaxCapabilitiesFragments; fragment++) {
        FragmentReply reply{};
        std::optional<std::span<const uint8_t>> data = fetchFragment(link, offset, &reply);
        // No data is the monitor's end of the string.
        if (!data || data->empty()) {
            ended = data.has_value();
            break;
        }
        append(*data, &gathered);
        if (finished(gathered)) {
            // Not a buffer that filled up: the text may go on.
            ended = gathered.sawNul || ((*text)[0] == '(' && gathered.opened == gathered.closed);
            break;
        }
        offset = static_cast<uint16_t>(offset + data->size());
    }
    if (whole != nullptr) {
        *whole = ended && gathered.length > 0;
    }
    return gathered.length;
}
