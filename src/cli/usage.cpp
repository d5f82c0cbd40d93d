#include "cli/usage.h"

#include <cstdarg>
#include <cstdio>

// printf's form, so the compiler checks every refusal's arguments against
// its format, and a refused argument of any length is written whole.
void refuseCommandLine(const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}
