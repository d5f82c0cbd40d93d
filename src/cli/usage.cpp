#include "cli/usage.h"

#include <cstdarg>
#include <cstdio>

void refuseCommandLine(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}
