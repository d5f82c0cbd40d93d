#include "cli/line_reader.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// A whole longest line and its line feed fit; one more byte does not.
std::array<char, kMaxLineLength + 1> g_buffer;
int g_fd = -1;
size_t g_filled = 0;    // bytes in the buffer
size_t g_consumed = 0;  // of those, bytes of lines already returned
bool g_ended = false;   // end of input seen

// Reads more bytes after those in the buffer. Returns the count, 0 at end of
// input, or -1 with errno set.
ssize_t readMore()
{
    for (;;) {
        ssize_t count = read(g_fd, g_buffer.data() + g_filled, g_buffer.size() - g_filled);
        if (count >= 0 || errno != EINTR) {
            return count;
        }
    }
}

// Drops the lines already returned, so the next one starts at the front.
void dropConsumed()
{
    std::memmove(g_buffer.data(), g_buffer.data() + g_consumed, g_filled - g_consumed);
    g_filled -= g_consumed;
    g_consumed = 0;
}

InputLine lineUpTo(size_t length, size_t consumed)
{
    g_buffer[length] = '\0';
    g_consumed = consumed;
    return InputLine{LineKind::text, g_buffer.data(), length, 0};
}

// The buffer is full and holds no line feed: reads on to the end of the line
// and keeps what follows it.
InputLine skipLongLine()
{
    for (;;) {
        g_filled = 0;
        ssize_t count = readMore();
        if (count < 0) {
            return InputLine{LineKind::readError, nullptr, 0, errno};
        }
        if (count == 0) {
            g_ended = true;
            return InputLine{LineKind::tooLong, nullptr, 0, 0};
        }
        g_filled = static_cast<size_t>(count);
        const void* feed = std::memchr(g_buffer.data(), '\n', g_filled);
        if (feed != nullptr) {
            g_consumed = static_cast<size_t>(static_cast<const char*>(feed) - g_buffer.data()) + 1;
            return InputLine{LineKind::tooLong, nullptr, 0, 0};
        }
    }
}

}  // namespace

void startReadingLines(int fd)
{
    g_fd = fd;
    g_filled = 0;
    g_consumed = 0;
    g_ended = false;
}

InputLine readLine()
{
    dropConsumed();
    size_t scanned = 0;
    for (;;) {
        const void* feed = std::memchr(g_buffer.data() + scanned, '\n', g_filled - scanned);
        if (feed != nullptr) {
            size_t length = static_cast<size_t>(static_cast<const char*>(feed) - g_buffer.data());
            return lineUpTo(length, length + 1);
        }
        scanned = g_filled;
        if (g_filled == g_buffer.size()) {
            return skipLongLine();
        }
        if (g_ended) {
            return g_filled == 0 ? InputLine{} : lineUpTo(g_filled, g_filled);
        }
        ssize_t count = readMore();
        if (count < 0) {
            return InputLine{LineKind::readError, nullptr, 0, errno};
        }
        g_ended = count == 0;
        g_filled += static_cast<size_t>(count);
    }
}
