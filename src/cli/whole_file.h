// Files that are replaced whole or not at all: a reader (or a crash, or a
// full disk) never sees half a document, and a failed run never leaves an
// error where a good file was.
#pragma once

#include <string_view>

// Writes `text` to a new file in `path`'s folder, syncs it, and renames it
// over `path`. The new file has the old one's permissions, or those the
// umask leaves of 0666 when there was none. On failure nothing at `path`
// has changed, the new file is gone, and `*error` holds the reason.
bool replaceFileWhole(const char* path, std::string_view text, int* error);
