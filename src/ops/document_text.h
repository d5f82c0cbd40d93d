// Text members of the documents that carry text from a capabilities string.
#pragma once

#include <optional>
#include <string_view>

#include "ops/text_out.h"

// Appends `"key":"<text, escaped>"`, or `"key":null` when there is no text.
// The text is at most a capabilities string long; longer text is cut there.
void appendTextMember(TextOut* out, const char* key, std::optional<std::string_view> text);

// Appends a name as a JSON string, escaped: names from a configuration file
// may hold any text. At most 63 bytes of it are kept.
void appendEscaped(TextOut* out, std::string_view name);
