#include "config/config_prescan.h"

#include <array>
#include <cstdio>

namespace {

enum class Context { plain, comment, basic, literal, multiBasic, multiLiteral };

bool startsWith(std::string_view text, size_t at, std::string_view part)
{
    return text.substr(at, part.size()) == part;
}

// Where the text at `at` leaves a context, or nothing: the number of
// bytes that end it (the closing quotes), 0 when it goes on.
size_t closing(Context context, std::string_view text, size_t at)
{
    char c = text[at];
    switch (context) {
        case Context::plain: return 0;
        case Context::comment: return c == '\n' ? 1 : 0;
        case Context::basic: return c == '"' || c == '\n' ? 1 : 0;
        case Context::literal: return c == '\'' || c == '\n' ? 1 : 0;
        case Context::multiBasic: return startsWith(text, at, "\"\"\"") ? 3 : 0;
        case Context::multiLiteral: return startsWith(text, at, "'''") ? 3 : 0;
    }
    return 0;
}

// Whether a quote after `previous` (the last byte of plain text that is not
// a blank, or a newline) opens a string for the parser too: only where a key
// or a value starts. Elsewhere the parser reads the quote as part of a bare
// value and goes on, so what follows must be checked as plain text.
bool stringMayStartAfter(char previous)
{
    switch (previous) {
        case '\n':
        case '=':
        case '[':
        case ',':
        case '{':
        case '.': return true;
        default: return false;
    }
}

// The context the text at `at` opens in plain text, and the bytes that open it.
size_t opening(std::string_view text, size_t at, char previous, Context* context)
{
    if (text[at] == '#') {
        *context = Context::comment;
        return 1;
    }
    if (!stringMayStartAfter(previous)) {
        return 0;
    }
    if (startsWith(text, at, "\"\"\"")) {
        *context = Context::multiBasic;
        return 3;
    }
    if (startsWith(text, at, "'''")) {
        *context = Context::multiLiteral;
        return 3;
    }
    if (text[at] == '"' || text[at] == '\'') {
        *context = text[at] == '"' ? Context::basic : Context::literal;
        return 1;
    }
    return 0;
}

// The code point whose UTF-8 encoding starts at `at`, when it takes two or
// three bytes and they are all there; 0 otherwise.
char32_t codePointAt(std::string_view text, size_t at)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    auto continues = [&](size_t k) { return at + k < text.size() && (byte(k) & 0xC0) == 0x80; };
    if (byte(0) >= 0xC0 && byte(0) < 0xE0 && continues(1)) {
        return (char32_t{byte(0)} & 0x1F) << 6 | (byte(1) & 0x3F);
    }
    if (byte(0) >= 0xE0 && byte(0) < 0xF0 && continues(1) && continues(2)) {
        return (char32_t{byte(0)} & 0x0F) << 12 | (char32_t{byte(1)} & 0x3F) << 6 |
               (byte(2) & 0x3F);
    }
    return 0;
}

// toml++ 3.3.0 reaches an unreachable branch (undefined behaviour) when it
// asks whether one of these is white space, which it may do wherever the
// text around them leads its parser: they are refused anywhere in the file.
bool unsafeForTheParser(char32_t c)
{
    return (c > 0xA0 && c <= 0x499) || (c >= 0x2D6E && c <= 0x3167 && c != 0x3000) ||
           (c >= 0xFB06 && c < 0xFEFF);
}

bool refuse(ConfigError* error, uint32_t line, uint32_t column, const char* what)
{
    error->line = line;
    error->column = column;
    std::snprintf(error->what.data(), error->what.size(), "%s", what);
    return false;
}

}  // namespace

bool asciiOutsideStrings(std::string_view text, ConfigError* error)
{
    Context context = Context::plain;
    uint32_t line = 1;
    uint32_t column = 1;
    bool escaped = false;  // the byte before was a basic string's backslash
    // A backslash that ends a line in a multi-line string makes the parser
    // skip the blanks and line breaks after it, testing each character for
    // white space: until the first other one, which must be ASCII too.
    bool skipping = false;
    char previous = '\n';  // the last byte of plain text that is not a blank
    for (size_t at = 0; at < text.size(); at++) {
        auto byte = static_cast<unsigned char>(text[at]);
        bool inBasic = context == Context::basic || context == Context::multiBasic;
        bool blank = byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
        if (char32_t c = codePointAt(text, at); unsafeForTheParser(c)) {
            std::array<char, 96> what{};
            std::snprintf(what.data(), what.size(),
                          "U+%04X, a character the configuration reader cannot take",
                          static_cast<unsigned>(c));
            return refuse(error, line, column, what.data());
        }
        if (byte >= 0x80 && (context == Context::plain || (inBasic && (escaped || skipping)))) {
            return refuse(error, line, column,
                          context == Context::plain
                              ? "a character that is not ASCII outside a string or comment"
                              : "a character that is not ASCII after a backslash");
        }
        size_t skip = 0;
        skipping = skipping && blank;
        if (inBasic && !escaped && byte == '\\') {
            escaped = true;
        } else if (escaped) {
            escaped = false;
            skipping = context == Context::multiBasic && blank;
        } else if (context == Context::plain) {
            skip = opening(text, at, previous, &context);
            if (skip == 0 && byte != ' ' && byte != '\t') {
                previous = static_cast<char>(byte);
            }
        } else if ((skip = closing(context, text, at)) > 0) {
            // After a string, a quote is no new one; after a comment, a
            // line starts.
            previous = context == Context::comment ? '\n' : '"';
            context = Context::plain;
        }
        // Columns count characters, as the parser's do: not UTF-8's
        // continuation bytes.
        for (size_t k = 0; k < (skip > 1 ? skip : 1); k++) {
            auto counted = static_cast<unsigned char>(text[at + k]);
            if (counted == '\n') {
                line++;
                column = 1;
            } else if ((counted & 0xC0) != 0x80) {
                column++;
            }
        }
        at += skip > 1 ? skip - 1 : 0;
    }
    return true;
}
