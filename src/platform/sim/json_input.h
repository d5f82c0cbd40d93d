// Reading the simulation's JSON input files (the scenario and the monitor
// state) within fixed limits, and parsing them in time linear in their size.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace sim {

// Keeps member order, so the first problem reported is the first in the file.
using Json = nlohmann::ordered_json;

// Larger input files are refused unread.
constexpr size_t kMaxInputBytes = size_t{64} << 20;

// Reads what the open descriptor `fd` holds, at most kMaxInputBytes: a regular
// file that is larger is refused before reading, and anything else (a pipe,
// a device) is read no further than one byte past the limit. False with
// *error set ("larger than 64 MiB", "cannot read (...)") on failure.
bool readInput(int fd, std::string* text, std::string* error);

// Parses `text` into *document. False with *error set to a one-line message
// ("invalid json at line L, column C", "invalid json: ...", "too large to
// load") on failure. Nesting depth is not limited here: parsing and freeing
// use no recursion.
bool parseJson(std::string_view text, Json* document, std::string* error);

}  // namespace sim
