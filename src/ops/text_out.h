// A document built in a fixed buffer rather than on a stream, so the command
// line can print it and the library can hand it to its caller. Text that does
// not fit is cut, and the length it needed is still counted.
#pragma once

#include <cstddef>
#include <span>

struct TextOut {
    std::span<char> buffer;  // always NUL-terminated when not empty
    size_t length = 0;       // bytes the whole text takes, without the NUL
    [[nodiscard]] bool cut() const { return length >= buffer.size(); }
};

// Appends printf-formatted text; declared as printf is, so the compiler
// checks every format against its arguments.
[[gnu::format(printf, 2, 3)]] void appendText(TextOut* out, const char* format, ...);
