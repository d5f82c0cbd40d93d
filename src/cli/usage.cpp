#include "cli/usage.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

// One conversion other than %s, formatted by the C library from its own
// specification `spec` and the argument it takes.
void appendNumber(LineText* line, const char* spec, char conversion, const char* lengthModifier,
                  std::va_list* arguments)
{
    std::array<char, 64> text{};
    int written = 0;
    bool longLong = std::strcmp(lengthModifier, "ll") == 0 || std::strcmp(lengthModifier, "j") == 0;
    bool wide = longLong || std::strcmp(lengthModifier, "l") == 0 ||
                std::strcmp(lengthModifier, "z") == 0 || std::strcmp(lengthModifier, "t") == 0;
    if (conversion == 'c' || ((conversion == 'd' || conversion == 'i') && !wide)) {
        written = std::snprintf(text.data(), text.size(), spec, va_arg(*arguments, int));
    } else if (conversion == 'd' || conversion == 'i') {
        written = std::snprintf(text.data(), text.size(), spec, va_arg(*arguments, long long));
    } else if (conversion == 'p') {
        written = std::snprintf(text.data(), text.size(), spec, va_arg(*arguments, void*));
    } else if (!wide) {
        written = std::snprintf(text.data(), text.size(), spec, va_arg(*arguments, unsigned));
    } else {
        written =
            std::snprintf(text.data(), text.size(), spec, va_arg(*arguments, unsigned long long));
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
            // Integer conversions are given as written, without a '*'
            // width, which no refusal uses.
            std::array<char, 16> spec{};
            auto specLength = static_cast<size_t>(at - start);
            if (specLength < spec.size() && std::memchr(start, '*', specLength) == nullptr) {
                std::memcpy(spec.data(), start, specLength);
                appendNumber(line, spec.data(), conversion, lengthModifier.data(), arguments);
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
