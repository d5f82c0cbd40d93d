#include "ops/text_out.h"

#include <cstdarg>
#include <cstdio>

void appendText(TextOut* out, const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    size_t used = out->length < out->buffer.size() ? out->length : out->buffer.size();
    size_t room = out->buffer.size() - used;
    std::va_list arguments;
    va_start(arguments, format);
    int written =
        std::vsnprintf(room > 0 ? out->buffer.data() + used : nullptr, room, format, arguments);
    va_end(arguments);
    if (written > 0) {
        out->length += static_cast<size_t>(written);
    }
    // Once cut, later pieces must not land after the cut and pass for whole text.
    if (out->cut() && !out->buffer.empty()) {
        out->buffer[out->buffer.size() - 1] = '\0';
    }
}
