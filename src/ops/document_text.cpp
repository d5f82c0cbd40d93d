#include "ops/document_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ddc/capabilities.h"
#include "ops/json_escape.h"

void appendTextMember(TextOut* out, const char* key, std::optional<std::string_view> text)
{
    if (!text) {
        appendText(out, "\"%s\":null", key);
        return;
    }
    // A segment is part of the capabilities text, so it fits in a buffer of its size.
    std::array<char, sizeof(CapabilitiesText)> plain;
    std::array<char, escapedCapacity(sizeof(CapabilitiesText))> escaped;
    size_t length = std::min(text->size(), plain.size() - 1);
    std::memcpy(plain.data(), text->data(), length);
    plain[length] = '\0';
    json_escape(plain.data(), escaped.data(), escaped.size());
    appendText(out, "\"%s\":\"%s\"", key, escaped.data());
}

void appendEscaped(TextOut* out, std::string_view name)
{
    std::array<char, 64> plain{};
    std::array<char, escapedCapacity(plain.size())> escaped;
    size_t length = std::min(name.size(), plain.size() - 1);
    std::memcpy(plain.data(), name.data(), length);
    json_escape(plain.data(), escaped.data(), escaped.size());
    appendText(out, "\"%s\"", escaped.data());
}
