#include "cli/line_reader.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// Reads more bytes after those in the buffer. Returns the count, 0 at end of
// input, or -1 with errno set.
ssize_t readMore(LineReader* reader)
{
    for (;;) {
        ssize_t count = read(reader->fd, reader->buffer.data() + reader->filled,
                             reader->buffer.size() - reader->filled);
        if (count >= 0 || errno != EINTR) {
            return count;
        }
    }
}

// Drops the lines already returned, so the next one starts at the front.
void dropConsumed(LineReader* reader)
{
    std::memmove(reader->buffer.data(), reader->buffer.data() + reader->consumed,
                 reader->filled - reader->consumed);
    reader->filled -= reader->consumed;
    reader->consumed = 0;
}

InputLine lineUpTo(LineReader* reader, size_t length, size_t consumed)
{
    reader->buffer[length] = '\0';
    reader->consumed = consumed;
    return InputLine{LineKind::text, reader->buffer.data(), length, 0};
}

// The buffer is full and holds no line feed: reads on to the end of the line
// and keeps what follows it.
InputLine skipLongLine(LineReader* reader)
{
    for (;;) {
        reader->filled = 0;
        ssize_t count = readMore(reader);
        if (count < 0) {
            return InputLine{LineKind::readError, nullptr, 0, errno};
        }
        if (count == 0) {
            reader->ended = true;
            return InputLine{LineKind::tooLong, nullptr, 0, 0};
        }
        reader->filled = static_cast<size_t>(count);
        const void* feed = std::memchr(reader->buffer.data(), '\n', reader->filled);
        if (feed != nullptr) {
            reader->consumed =
                static_cast<size_t>(static_cast<const char*>(feed) - reader->buffer.data()) + 1;
            return InputLine{LineKind::tooLong, nullptr, 0, 0};
        }
    }
}

}  // namespace

void startReadingLines(LineReader* reader, int fd)
{
    reader->fd = fd;
    reader->filled = 0;
    reader->consumed = 0;
    reader->ended = false;
}

InputLine readLine(LineReader* reader)
{
    dropConsumed(reader);
    size_t scanned = 0;
    for (;;) {
        const void* feed =
            std::memchr(reader->buffer.data() + scanned, '\n', reader->filled - scanned);
        if (feed != nullptr) {
            size_t length =
                static_cast<size_t>(static_cast<const char*>(feed) - reader->buffer.data());
            // A line written by a program that ends lines with CR LF reads
            // as the same line ended by LF alone.
            size_t text = length > 0 && reader->buffer[length - 1] == '\r' ? length - 1 : length;
            if (text > kMaxLineLength) {
                reader->consumed = length + 1;
                return InputLine{LineKind::tooLong, nullptr, 0, 0};
            }
            return lineUpTo(reader, text, length + 1);
        }
        scanned = reader->filled;
        if (reader->filled == reader->buffer.size()) {
            return skipLongLine(reader);
        }
        if (reader->ended && reader->filled > kMaxLineLength) {
            reader->consumed = reader->filled;
            return InputLine{LineKind::tooLong, nullptr, 0, 0};
        }
        if (reader->ended) {
            return reader->filled == 0 ? InputLine{}
                                       : lineUpTo(reader, reader->filled, reader->filled);
        }
        ssize_t count = readMore(reader);
        if (count < 0) {
            return InputLine{LineKind::readError, nullptr, 0, errno};
        }
        reader->ended = count == 0;
        reader->filled += static_cast<size_t>(count);
    }
}
