// Text members of the documents that carry text from a capabilities string.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

// Prints `"key":"<text, escaped>"`, or `"key":null` when there is no text.
// The text is at most a capabilities string long; longer text is cut there.
void printTextMember(std::FILE* out, const char* key, std::optional<std::string_view> text);
