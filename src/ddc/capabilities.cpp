#include "ddc/capabilities.h"

#include <algorithm>
#include <cstdint>

#include "ddc/framing.h"

namespace {

constexpr int kMaxChunks = 13;
constexpr uint32_t kChunkStride = 32;
constexpr size_t kMaxChunkText = 35;
constexpr size_t kChunkTextStart = 4;
// Monitors take a while to assemble the string after the first request.
constexpr uint32_t kCapabilitiesStartPauseMicros = 50000;

// Appends the chunk's text: from byte 4 up to a NUL, at most 35 bytes, and
// never past the buffer.
void appendChunk(std::span<const uint8_t> reply, CapabilitiesText* text, size_t* length)
{
    size_t room = text->size() - 1 - std::min(*length, text->size() - 1);
    size_t limit = std::min(kMaxChunkText, room);
    for (size_t i = 0; i < limit && kChunkTextStart + i < reply.size(); i++) {
        uint8_t byte = reply[kChunkTextStart + i];
        if (byte == 0) {
            break;
        }
        (*text)[(*length)++] = static_cast<char>(byte);
    }
    (*text)[*length] = '\0';
}

}  // namespace

size_t asReadCapabilities(const DisplayRecord& display, CapabilitiesText* text)
{
    size_t length = 0;
    (*text)[0] = '\0';

    // The start request is not answered; whether it was accepted shows in
    // the chunk requests that follow.
    std::array<uint8_t, 4> start{0xF3, 0x00, 0x00, 0};
    start[3] = ddcChecksum(kDdcHostAddress, std::span(start).first(3));
    pauseMicroseconds(kDdcPauseMicros);
    ddcWrite(display, kDdcChip, kDdcHostAddress, start);
    pauseMicroseconds(kCapabilitiesStartPauseMicros);

    for (int chunk = 0; chunk < kMaxChunks; chunk++) {
        // The offset is 16 bits, high byte first, so strings longer than
        // 256 bytes are read on instead of wrapping to the start.
        uint32_t offset = kChunkStride * static_cast<uint32_t>(chunk);
        std::array<uint8_t, 4> request{0xE3, static_cast<uint8_t>(offset >> 8),
                                       static_cast<uint8_t>(offset & 0xFF), 0};
        request[3] = ddcChecksum(kDdcHostAddress, std::span(request).first(3));
        pauseMicroseconds(kDdcPauseMicros);
        if (!ddcWrite(display, kDdcChip, kDdcHostAddress, request)) {
            break;
        }
        std::array<uint8_t, 40> reply{};
        pauseMicroseconds(kDdcPauseMicros);
        if (!ddcRead(display, kDdcChip, kDdcHostAddress, reply)) {
            break;
        }
        appendChunk(reply, text, &length);
        if (length != 0 && (*text)[length - 1] == ')') {
            break;
        }
    }
    return length;
}
