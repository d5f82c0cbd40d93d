#include "cli/document_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "cli/json_escape.h"
#include "ddc/capabilities.h"

void printTextMember(const char* key, std::optional<std::string_view> text)
{
    if (!text) {
        std::printf("\"%s\":null", key);
        return;
    }
    // A segment is part of the capabilities text, so it fits in a buffer of its size.
    static std::array<char, sizeof(CapabilitiesText)> plain;
    static std::array<char, escapedCapacity(sizeof(CapabilitiesText))> escaped;
    size_t length = std::min(text->size(), plain.size() - 1);
    std::memcpy(plain.data(), text->data(), length);
    plain[length] = '\0';
    json_escape(plain.data(), escaped.data(), escaped.size());
    std::printf("\"%s\":\"%s\"", key, escaped.data());
}
