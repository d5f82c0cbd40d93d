#include "cli/line_words.h"

#include <cstring>

size_t splitWords(char* line, std::span<char*> words)
{
    size_t count = 0;
    char* next = line;
    for (;;) {
        next += std::strspn(next, " \t");
        if (*next == '\0' || count == words.size()) {
            return count;
        }
        words[count++] = next;
        next += std::strcspn(next, " \t");
        if (*next != '\0') {
            *next++ = '\0';
        }
    }
}
