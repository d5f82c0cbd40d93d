#include "ops/json_escape.h"

#include <cstdint>
#include <cstring>

namespace {

// Length of the well-formed UTF-8 sequence at `s` (2 to 4), or 0 when the
// bytes there are not one: stray continuation bytes, overlong forms,
// surrogates, code points past U+10FFFF and sequences cut short.
size_t utf8SequenceLength(const unsigned char* s)
{
    unsigned char lead = s[0];
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    // Only the byte right after the lead has the narrower range; a NUL ends
    // the check before anything past the string is read.
    for (size_t i = 1; i < length; i++) {
        unsigned char byte = s[i];
        if (byte < low || byte > high) {
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

}  // namespace

void json_escape(const char* src, char* dst, size_t cap)
{
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    size_t pos = 0;
    size_t i = 0;
    // The first byte is always taken; later ones while there is room for
    // at least one more byte and the NUL.
    while (in[i] != 0 && (i == 0 || pos + 2 < cap)) {
        unsigned char byte = in[i];
        size_t sequence = byte >= 0x80 ? utf8SequenceLength(in + i) : 0;
        if (byte == '"' || byte == '\\') {
            dst[pos++] = '\\';
            dst[pos++] = static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x80) {
            dst[pos++] = static_cast<char>(byte);
        } else if (sequence != 0) {
            if (pos + sequence < cap) {
                std::memcpy(dst + pos, in + i, sequence);
                pos += sequence;
            }
            i += sequence;
            continue;
        } else if (pos + 6 < cap) {
            // Control bytes, and bytes that are not UTF-8, which JSON text
            // may not carry raw. Written by hand: a formatted print per byte
            // costs ten times as much.
            static constexpr char kHexDigits[] = "0123456789abcdef";
            std::memcpy(dst + pos, "\\u00", 4);
            dst[pos + 4] = kHexDigits[byte >> 4];
            dst[pos + 5] = kHexDigits[byte & 0x0F];
            pos += 6;
        }
        i++;
    }
    dst[pos] = '\0';
}
