// Escaping bytes into the inside of a JSON string literal, bounded by a
// fixed output buffer.
#pragma once

#include <cstddef>

// Escapes `src` into `dst`, writing at most `cap` bytes including the NUL
// (`cap` >= 3). `"` and `\` get a backslash; control bytes and bytes that are
// not part of well-formed UTF-8 become \u00xx; well-formed UTF-8 is copied.
// When room runs out, plain text stops at cap - 2 bytes, an escape pair may
// end at cap - 1, and a \u escape or a UTF-8 sequence that does not fit is
// dropped whole while later, shorter items may still be written.
void json_escape(const char* src, char* dst, size_t cap);

// Escapes `length` bytes of `src` (NULs among them) for a diagnostic line on
// a terminal: as json_escape, and also DEL, C1 controls, invisible format
// characters and bidirectional overrides become \u escapes, so the result is
// printable text that cannot move the cursor, end the line or reorder it.
// Same bounds as json_escape; returns the length written.
size_t escapeForTerminal(const char* src, size_t length, char* dst, size_t cap);

// As escapeForTerminal for a whole NUL-terminated message whose quotes are
// its own (a JSON-quoted key, say): `"` and `\` stay as they are.
size_t makeLineSafe(const char* src, char* dst, size_t cap);

// Output capacity that holds any escaped text from a field of `fieldSize`
// bytes (text plus NUL): six output bytes per input byte, plus the NUL.
constexpr size_t escapedCapacity(size_t fieldSize)
{
    return (fieldSize - 1) * 6 + 1;
}
