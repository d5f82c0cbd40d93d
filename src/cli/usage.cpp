#include "cli/usage.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/json_escape.h"

namespace {

// A refusal line being written into a fixed buffer. Text that does not fit
// is dropped and the line marked cut.
struct LineText {
    char* data;
    size_t capacity;  // including the NUL
    size_t length = 0;
    bool cut = false;
};

void append(LineText* line, const char* text, size_t length)
{
    size_t room = line->capacity - 1 - line->length;
    if (length > room) {
        length = room;
        line->cut = true;
    }
    std::memcpy(line->data + line->length, text, length);
    line->length += length;
    line->data[line->length] = '\0';
}

// The echoed word's first kMaxEchoedWordBytes bytes, not splitting a UTF-8
// sequence, so a word of any length costs one short line.
size_t echoedLength(const unsigned char* word, size_t length)
{
    if (length <= kMaxEchoedWordBytes) {
        return length;
    }
    size_t cut = kMaxEchoedWordBytes;
    for (int back = 0; back < 3 && cut > 0 && (word[cut] & 0xC0) == 0x80; back++) {
        cut--;
    }
    return cut;
}

// An argument, path or key the refusal echoes. On standard error it is
// escaped as documents escape text, and more (a terminal acts on some
// well-formed characters); kept for a batch answer it stays raw, since the
// answer document escapes it.
void appendWord(LineText* line, const char* word, size_t length, bool escape)
{
    size_t shown = echoedLength(reinterpret_cast<const unsigned char*>(word), length);
    if (escape) {
        std::array<char, escapedCapacity(kMaxEchoedWordBytes + 1)> escaped{};
        size_t written = escapeForTerminal(word, shown, escaped.data(), escaped.size());
        append(line, escaped.data(), written);
    } else {
        append(line, word, shown);
    }
    if (shown < length) {
        append(line, "\u2026", std::strlen("\u2026"));
    }
}

// One conversion other than %s. Integers are read at the width their length
// modifier gives and formatted by the C library as long long, from `flags`
// (what the format has between '%' and the length modifier).
void appendNumber(LineText* line, std::string_view flags, char conversion,
                  const char* lengthModifier, std::va_list* arguments)
{
    bool wide = std::strchr("ljzt", lengthModifier[0]) != nullptr && lengthModifier[0] != '\0';
    std::array<char, 24> spec{};
    std::array<char, 64> text{};
    int written = 0;
    switch (conversion) {
        case 'c': {
            auto character = static_cast<char>(va_arg(*arguments, int));
            append(line, &character, 1);
            return;
        }
        case 'p':
            written = std::snprintf(text.data(), text.size(), "%p", va_arg(*arguments, void*));
            break;
        case 'd':
        case 'i': {
            long long value = wide ? va_arg(*arguments, long long) : va_arg(*arguments, int);
            std::snprintf(spec.data(), spec.size(), "%%%.*sll%c", static_cast<int>(flags.size()),
                          flags.data(), conversion);
            written = std::snprintf(text.data(), text.size(), spec.data(), value);
            break;
        }
        default: {
            unsigned long long value =
                wide ? va_arg(*arguments, unsigned long long) : va_arg(*arguments, unsigned);
            std::snprintf(spec.data(), spec.size(), "%%%.*sll%c", static_cast<int>(flags.size()),
                          flags.data(), conversion);
            written = std::snprintf(text.data(), text.size(), spec.data(), value);
            break;
        }
    }
    if (written > 0) {
        append(line, text.data(), std::min(static_cast<size_t>(written), text.size() - 1));
    }
}

// printf's formatting of the conversions refusals use (%s and %.*s, the
// integer conversions, %c, %p, %%), with every string argument passed
// through appendWord. The format itself is the program's own text.
void formatRefusal(LineText* line, const char* format, std::va_list* arguments, bool escape)
{
    for (const char* at = format; *at != '\0';) {
        if (*at != '%') {
            const char* next = std::strchr(at, '%');
            size_t run = next != nullptr ? static_cast<size_t>(next - at) : std::strlen(at);
            append(line, at, run);
            at += run;
            continue;
        }
        const char* start = at++;
        int precision = -1;
        while (std::strchr("-+ #0", *at) != nullptr && *at != '\0') {
            at++;
        }
        while (*at >= '0' && *at <= '9') {
            at++;
        }
        if (*at == '.') {
            at++;
            if (*at == '*') {
                precision = va_arg(*arguments, int);
                at++;
            } else {
                precision = 0;
                while (*at >= '0' && *at <= '9') {
                    precision = precision * 10 + (*at++ - '0');
                }
            }
        }
        const char* modifierAt = at;
        std::array<char, 3> lengthModifier{};
        for (size_t n = 0; n < 2 && std::strchr("hljzt", *at) != nullptr && *at != '\0'; n++) {
            lengthModifier[n] = *at++;
        }
        char conversion = *at;
        if (conversion == '\0') {
            break;
        }
        at++;
        if (conversion == '%') {
            append(line, "%", 1);
        } else if (conversion == 's') {
            const char* word = va_arg(*arguments, const char*);
            size_t length =
                precision >= 0 ? strnlen(word, static_cast<size_t>(precision)) : std::strlen(word);
            appendWord(line, word, length, escape);
        } else {
            // Integers as printf gives them; a '*' width, which no refusal
            // uses, is not supported.
            auto flagsLength = static_cast<size_t>(modifierAt - start - 1);
            if (flagsLength < 8 && std::memchr(start, '*', flagsLength + 1) == nullptr) {
                appendNumber(line, std::string_view(start + 1, flagsLength), conversion,
                             lengthModifier.data(), arguments);
            }
        }
    }
}

// Keeps the text; one too long for the buffer ends with "..." so that a cut
// text never passes for a whole one.
void keepRefusal(Refusals* refusals, const char* format, std::va_list* arguments)
{
    std::array<char, kRefusalCapacity>& text = refusals->text;
    LineText line{text.data(), text.size()};
    formatRefusal(&line, format, arguments, false);
    if (line.cut) {
        std::memcpy(text.data() + text.size() - 4, "...", 4);
    }
    refusals->captured = true;
}

}  // namespace

// printf's form, so the compiler checks every refusal's arguments against
// its format. Every echoed string is cut and, on standard error, escaped, so
// that a refusal is one line of printable text whatever it was given.
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
        std::array<char, kRefusalLineCapacity> text{};
        LineText line{text.data(), text.size()};
        formatRefusal(&line, format, &arguments, true);
        std::fprintf(refusals->stream, "%s\n", text.data());
    } else {
        keepRefusal(refusals, format, &arguments);
    }
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
