// Where the simulation keeps its cached files, as other programs on Linux
// and BSD do: $XDG_CACHE_HOME/panoctl, or ~/.cache/panoctl. A relative
// XDG_CACHE_HOME is ignored, as the convention asks. Read at each call.
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

bool cacheDirectoryPath(std::span<char> path)
{
    const char* base = std::getenv("XDG_CACHE_HOME");
    const char* folder = "panoctl";
    if (base == nullptr || base[0] != '/') {
        base = std::getenv("HOME");
        folder = ".cache/panoctl";
    }
    if (base == nullptr || base[0] == '\0') {
        return false;
    }
    int written = std::snprintf(path.data(), path.size(), "%s/%s", base, folder);
    return written > 0 && static_cast<size_t>(written) < path.size();
}
