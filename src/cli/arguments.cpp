#include "cli/arguments.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

std::optional<long> parseNumberArgument(const char* text, long max)
{
    // A typo such as "5O" must not reach a monitor as 5 or 0.
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE || number < 0 || number > max) {
        std::fprintf(stderr, "invalid number: %s\n", text);
        return std::nullopt;
    }
    return number;
}
