#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// $TMPDIR is the user's private temporary folder on macOS; a process started
// without it asks the system for the same folder.
bool lockDirectoryPath(std::span<char> path)
{
    std::array<char, 1024> userTemporary{};
    const char* temporary = std::getenv("TMPDIR");
    if (temporary == nullptr || *temporary == '\0') {
        size_t needed =
            confstr(_CS_DARWIN_USER_TEMP_DIR, userTemporary.data(), userTemporary.size());
        if (needed == 0 || needed > userTemporary.size()) {
            return false;
        }
        temporary = userTemporary.data();
    }
    size_t length = std::strlen(temporary);
    const char* separator = length > 0 && temporary[length - 1] == '/' ? "" : "/";
    int written =
        std::snprintf(path.data(), path.size(), "%s%spanoctl-locks", temporary, separator);
    return written > 0 && static_cast<size_t>(written) < path.size();
}
