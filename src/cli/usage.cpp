#include "cli/usage.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool g_capturing = false;
bool g_captured = false;
std::array<char, kRefusalCapacity> g_refusal{};

// Keeps the text; one too long for the buffer ends with "..." so that a cut
// text never passes for a whole one.
void keepRefusal(const char* format, std::va_list arguments)
{
    int length = std::vsnprintf(g_refusal.data(), g_refusal.size(), format, arguments);
    if (length < 0) {
        std::snprintf(g_refusal.data(), g_refusal.size(), "unreadable command line");
    } else if (static_cast<size_t>(length) >= g_refusal.size()) {
        std::memcpy(g_refusal.data() + g_refusal.size() - 4, "...", 4);
    }
    g_captured = true;
}

}  // namespace

// printf's form, so the compiler checks every refusal's arguments against
// its format, and a refused argument of any length is written whole.
void refuseCommandLine(const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list arguments;
    va_start(arguments, format);
    if (!g_capturing) {
        std::vfprintf(stderr, format, arguments);
        std::fputc('\n', stderr);
    } else if (!g_captured) {
        keepRefusal(format, arguments);
    }
    va_end(arguments);
}

void captureRefusals(bool capture)
{
    g_capturing = capture;
    g_captured = false;
}

const char* takeCapturedRefusal()
{
    if (!g_captured) {
        return nullptr;
    }
    g_captured = false;
    return g_refusal.data();
}
