// json_escape on any bytes at any capacity. Input: two bytes that choose the
// capacity, then the text (up to its first NUL). Every output is checked at
// the chosen capacity and at the full one (escapedCapacity):
// - nothing is written past the capacity (exact-size buffers under ASan);
// - the output is NUL-terminated within it;
// - the output is the inside of a JSON string: an escape or a UTF-8 sequence
//   is never cut, whatever the room;
// - at full capacity, text that is well-formed UTF-8 without a NUL comes back
//   unchanged when the output is parsed.
// escapeForTerminal, on all the bytes: no control character in the output,
// which is the inside of a JSON string giving well-formed text back.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "ops/json_escape.h"

namespace {

using Json = nlohmann::json;

[[noreturn]] void finding(const char* what, const std::string& output, size_t cap)
{
    std::fprintf(stderr, "finding: %s (capacity %zu)\noutput: %s\n", what, cap, output.c_str());
    std::abort();
}

bool isWellFormedUtf8(const std::string& text)
{
    // The JSON library refuses to serialise text that is not UTF-8.
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// Escapes `text` into exactly `cap` bytes and returns the output, checked for
// termination and for being the inside of a JSON string.
std::string escapeChecked(const std::string& text, size_t cap)
{
    // Exact-size copies: a read past the source's NUL or a write past the
    // capacity lands outside the allocation.
    auto source = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(source.get(), text.c_str(), text.size() + 1);
    auto output = std::make_unique<char[]>(cap);
    std::memset(output.get(), '#', cap);

    json_escape(source.get(), output.get(), cap);

    if (std::memchr(output.get(), '\0', cap) == nullptr) {
        finding("no NUL within the capacity", std::string(output.get(), cap), cap);
    }
    std::string escaped(output.get());
    if (!Json::accept("\"" + escaped + "\"")) {
        finding("output is not the inside of a JSON string", escaped, cap);
    }
    return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    size_t choice = static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8;
    std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string text = input.substr(0, input.find('\0'));

    // json_escape needs room for at least one escape pair and the NUL.
    size_t full = std::max<size_t>(3, escapedCapacity(text.size() + 1));
    escapeChecked(text, 3 + choice % (full - 2));  // 3 to full

    std::string escaped = escapeChecked(text, full);
    if (text.size() == input.size() && isWellFormedUtf8(text) &&
        Json::parse("\"" + escaped + "\"").get<std::string>() != text) {
        finding("full capacity does not give the text back", escaped, full);
    }

    // For a terminal, all the bytes, NULs included: printable ASCII and
    // UTF-8 of U+00A0 and up only, and still the inside of a JSON string.
    size_t terminalFull = escapedCapacity(input.size() + 1);
    auto output = std::make_unique<char[]>(terminalFull);
    size_t length = escapeForTerminal(input.data(), input.size(), output.get(), terminalFull);
    std::string line(output.get(), length);
    if (line.size() != std::strlen(output.get())) {
        finding("terminal output is not NUL-terminated at its length", line, terminalFull);
    }
    for (size_t i = 0; i < line.size(); i++) {
        auto byte = static_cast<unsigned char>(line[i]);
        bool c1 =
            byte == 0xC2 && i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) < 0xA0;
        if (byte < 0x20 || byte == 0x7F || c1) {
            finding("terminal output holds a control character", line, terminalFull);
        }
    }
    if (!Json::accept("\"" + line + "\"")) {
        finding("terminal output is not the inside of a JSON string", line, terminalFull);
    }
    if (isWellFormedUtf8(input) && Json::parse("\"" + line + "\"").get<std::string>() != input) {
        finding("terminal output does not give the text back", line, terminalFull);
    }
    return 0;
}
