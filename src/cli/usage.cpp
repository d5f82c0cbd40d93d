#include "cli/usage.h"

#include <cstdarg>
#include <cstring>

namespace {

// Keeps the text; one too long for the buffer ends with "..." so that a cut
// text never passes for a whole one.
void keepRefusal(Refusals* refusals, const char* format, std::va_list arguments)
{
    std::array<char, kRefusalCapacity>& text = refusals->text;
    int length = std::vsnprintf(text.data(), text.size(), format, arguments);
    if (length < 0) {
        std::snprintf(text.data(), text.size(), "unreadable command line");
    } else if (static_cast<size_t>(length) >= text.size()) {
        std::memcpy(text.data() + text.size() - 4, "...", 4);
    }
    refusals->captured = true;
}

}  // namespace

// printf's form, so the compiler checks every refusal's arguments against
// its format, and a refused argument of any length is written whole.
void refuseCommandLine(Refusals* refusals, const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    // Where the text goes is settled before the arguments are read.
    bool write = !refusals->capturing;
    if (!write && refusals->captured) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    if (write) {
        std::vfprintf(refusals->stream, format, arguments);
        std::fputc('\n', refusals->stream);
    } else {
        keepRefusal(refusals, format, arguments);
    }
    va_end(arguments);
}

void tellUser(Refusals* refusals, const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(refusals->stream, format, arguments);
    std::fputc('\n', refusals->stream);
    va_end(arguments);
}

void captureRefusals(Refusals* refusals, bool capture)
{
    refusals->capturing = capture;
    refusals->captured = false;
}

const char* takeCapturedRefusal(Refusals* refusals)
{
    if (!refusals->captured) {
        return nullptr;
    }
    refusals->captured = false;
    return refusals->text.data();
}
