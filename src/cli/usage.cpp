#include "cli/usage.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ops/json_escape.h"

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

// One conversion of a format, as printf reads it: flags, width and
// precision (each -1 when not given; a '*' one taken from the arguments),
// the length modifier, and the conversion character.
struct Conversion {
    std::array<char, 6> flags{};
    int width = -1;
    int precision = -1;
    bool wide = false;  // l, ll, j, z or t: an integer argument of 64 bits
    char conversion = '\0';
};

// Reads the conversion after the '%' at `at`; returns where the format goes
// on, or null at a format that ends inside a conversion.
const char* readConversion(const char* at, std::va_list* arguments, Conversion* read)
{
    for (size_t n = 0; *at != '\0' && std::strchr("-+ #0", *at) != nullptr; at++) {
        if (n + 1 < read->flags.size()) {
            read->flags[n++] = *at;
        }
    }
    auto number = [&](int* value) {
        if (*at == '*') {
            *value = va_arg(*arguments, int);
            at++;
            return;
        }
        *value = 0;
        while (*at >= '0' && *at <= '9' && *value < 10000) {
            *value = *value * 10 + (*at++ - '0');
        }
    };
    if (*at == '*' || (*at >= '1' && *at <= '9')) {
        number(&read->width);
    }
    if (*at == '.') {
        at++;
        number(&read->precision);
    }
    while (*at != '\0' && std::strchr("hljztL", *at) != nullptr) {
        read->wide = read->wide || std::strchr("ljzt", *at) != nullptr;
        at++;
    }
    read->conversion = *at;
    return *at != '\0' ? at + 1 : nullptr;
}

// A conversion other than %s and %%, formatted by the C library: integers
// read at the width their length modifier gives and printed as long long,
// floating point as double.
void appendNumber(LineText* line, const Conversion& read, std::va_list* arguments)
{
    std::array<char, 32> spec{};
    std::array<char, 64> text{};
    int written = 0;
    auto makeSpec = [&](const char* length) {
        std::snprintf(spec.data(), spec.size(), "%%%s*.*%s%c", read.flags.data(), length,
                      read.conversion);
    };
    switch (read.conversion) {
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
            long long value = read.wide ? va_arg(*arguments, long long) : va_arg(*arguments, int);
            makeSpec("ll");
            written = std::snprintf(text.data(), text.size(), spec.data(), read.width,
                                    read.precision, value);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': {
            double value = va_arg(*arguments, double);
            makeSpec("");
            written = std::snprintf(text.data(), text.size(), spec.data(), read.width,
                                    read.precision, value);
            break;
        }
        default: {
            unsigned long long value =
                read.wide ? va_arg(*arguments, unsigned long long) : va_arg(*arguments, unsigned);
            makeSpec("ll");
            written = std::snprintf(text.data(), text.size(), spec.data(), read.width,
                                    read.precision, value);
            break;
        }
    }
    if (written > 0) {
        append(line, text.data(), std::min(static_cast<size_t>(written), text.size() - 1));
    }
}

// printf's formatting, with every string argument (%s, %.*s) passed through
// appendWord. The format itself is the program's own text, checked by the
// compiler against the arguments.
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
        Conversion read;
        at = readConversion(at + 1, arguments, &read);
        if (at == nullptr) {
            return;
        }
        if (read.conversion == '%') {
            append(line, "%", 1);
        } else if (read.conversion == 's') {
            const char* word = va_arg(*arguments, const char*);
            size_t length = read.precision >= 0 ? strnlen(word, static_cast<size_t>(read.precision))
                                                : std::strlen(word);
            appendWord(line, word, length, escape);
        } else {
            appendNumber(line, read, arguments);
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

// One line on the refusals' stream, every echoed string escaped and cut.
void writeLine(Refusals* refusals, const char* format, std::va_list* arguments)
{
    std::array<char, kRefusalLineCapacity> text{};
    LineText line{text.data(), text.size()};
    formatRefusal(&line, format, arguments, true);
    std::fprintf(refusals->stream, "%s\n", text.data());
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
        writeLine(refusals, format, &arguments);
    } else {
        keepRefusal(refusals, format, &arguments);
    }
    va_end(arguments);
}

void tellUser(Refusals* refusals, const char* format, ...)  // NOLINT(cert-dcl50-cpp)
{
    std::va_list arguments;
    va_start(arguments, format);
    writeLine(refusals, format, &arguments);
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
