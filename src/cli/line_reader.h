// Standard input read one line at a time into one fixed buffer, for batch
// mode: no heap, and a line too long for the buffer is skipped, not split.
#pragma once

#include <array>
#include <cstddef>

// The longest line kept, in bytes, without its line feed.
inline constexpr size_t kMaxLineLength = 4095;

enum class LineKind {
    text,       // a line, its line feed replaced by a NUL
    tooLong,    // a line longer than kMaxLineLength, read to its end and dropped
    end,        // end of input: no more lines
    readError,  // reading failed; `error` holds errno
};

struct InputLine {
    LineKind kind = LineKind::end;
    char* text = nullptr;  // for `text`: the line's bytes, NUL-terminated
    size_t length = 0;     // for `text`: bytes before that NUL (the line may hold NULs too)
    int error = 0;
};

// A reader's buffer and position. A whole longest line and its CR LF fit in
// the buffer; one more byte does not.
struct LineReader {
    std::array<char, kMaxLineLength + 2> buffer;
    int fd = -1;
    size_t filled = 0;    // bytes in the buffer
    size_t consumed = 0;  // of those, bytes of lines already returned
    bool ended = false;   // end of input seen
};

// Starts reading lines from descriptor `fd`, forgetting anything buffered.
void startReadingLines(LineReader* reader, int fd);

// The next line. A last line without a line feed is still a line, and a CR
// right before a line feed is part of the line's end, not of its text. The
// text stays valid until the next call.
InputLine readLine(LineReader* reader);
