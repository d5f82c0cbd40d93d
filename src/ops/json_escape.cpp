#include "ops/json_escape.h"

#include <cstdint>
#include <cstring>

namespace {

// Length of the well-formed UTF-8 sequence at `s` (2 to 4), or 0 when the
// bytes there are not one: stray continuation bytes, overlong forms,
// surrogates, code points past U+10FFFF and sequences cut short.
size_t utf8SequenceLength(const unsigned char* s, size_t available)
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
    if (length > available) {
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

// The code point of a well-formed sequence of `length` bytes.
uint32_t codePoint(const unsigned char* s, size_t length)
{
    static constexpr unsigned char kLeadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
    uint32_t point = s[0] & kLeadMask[length];
    for (size_t i = 1; i < length; i++) {
        point = (point << 6) | (s[i] & 0x3Fu);
    }
    return point;
}

// Characters that are well-formed but act on a terminal instead of showing:
// C1 controls (U+009B starts an escape sequence on some terminals), the
// zero-width and direction marks, the bidirectional overrides and isolates
// that reorder the rest of the line, the line and paragraph separators, and
// the byte order mark.
bool actsOnTerminal(uint32_t point)
{
    return (point >= 0x80 && point <= 0x9F) || (point >= 0x200B && point <= 0x200F) ||
           (point >= 0x2028 && point <= 0x202E) || (point >= 0x2060 && point <= 0x2069) ||
           point == 0xFEFF;
}

void writeUnicodeEscape(uint32_t point, char* dst)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    dst[0] = '\\';
    dst[1] = 'u';
    dst[2] = kHexDigits[(point >> 12) & 0x0F];
    dst[3] = kHexDigits[(point >> 8) & 0x0F];
    dst[4] = kHexDigits[(point >> 4) & 0x0F];
    dst[5] = kHexDigits[point & 0x0F];
}

struct EscapeRules {
    bool quotes;    // `"` and `\` get a backslash
    bool terminal;  // DEL and the characters that act on a terminal are escaped too
};

// The one escaping loop behind every public function here; `length` bytes
// of `src`, which may hold NULs, into `dst`, bounded as json_escape says.
size_t escapeBytes(const unsigned char* in, size_t length, char* dst, size_t cap, EscapeRules rules)
{
    size_t pos = 0;
    size_t i = 0;
    // The first byte is always taken; later ones while there is room for
    // at least one more byte and the NUL.
    while (i < length && (i == 0 || pos + 2 < cap)) {
        unsigned char byte = in[i];
        size_t sequence = byte >= 0x80 ? utf8SequenceLength(in + i, length - i) : 0;
        bool plain = byte >= 0x20 && byte < 0x80 && !(rules.terminal && byte == 0x7F);
        if (rules.quotes && (byte == '"' || byte == '\\')) {
            dst[pos++] = '\\';
            dst[pos++] = static_cast<char>(byte);
        } else if (plain) {
            dst[pos++] = static_cast<char>(byte);
        } else if (sequence != 0) {
            uint32_t point = codePoint(in + i, sequence);
            if (rules.terminal && actsOnTerminal(point)) {
                if (pos + 6 < cap) {
                    writeUnicodeEscape(point, dst + pos);
                    pos += 6;
                }
            } else if (pos + sequence < cap) {
                std::memcpy(dst + pos, in + i, sequence);
                pos += sequence;
            }
            i += sequence;
            continue;
        } else if (pos + 6 < cap) {
            // Control bytes, and bytes that are not UTF-8, which JSON text
            // may not carry raw. Written by hand: a formatted print per byte
            // costs ten times as much.
            writeUnicodeEscape(byte, dst + pos);
            pos += 6;
        }
        i++;
    }
    dst[pos] = '\0';
    return pos;
}

}  // namespace

void json_escape(const char* src, char* dst, size_t cap)
{
    escapeBytes(reinterpret_cast<const unsigned char*>(src), std::strlen(src), dst, cap,
                EscapeRules{true, false});
}

size_t escapeForTerminal(const char* src, size_t length, char* dst, size_t cap)
{
    return escapeBytes(reinterpret_cast<const unsigned char*>(src), length, dst, cap,
                       EscapeRules{true, true});
}

size_t makeLineSafe(const char* src, char* dst, size_t cap)
{
    return escapeBytes(reinterpret_cast<const unsigned char*>(src), std::strlen(src), dst, cap,
                       EscapeRules{false, true});
}
