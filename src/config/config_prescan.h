// A first look at a configuration's text before toml++ reads it.
#pragma once

#include <string_view>

#include "config/config_file.h"

// TOML allows text that is not ASCII only inside strings and comments.
// toml++ 3.3.0 reaches __builtin_unreachable for some such code points
// where it looks for white space (U+00A1 to U+0499 among them), so text
// outside strings and comments, and after a string's backslash, is checked
// here first: false, with the place and reason, where a byte that is not
// ASCII stands there.
bool asciiOutsideStrings(std::string_view text, ConfigError* error);
