#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

// The user's Caches folder under the home folder; a process without HOME
// keeps no cache.
bool cacheDirectoryPath(std::span<char> path)
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return false;
    }
    int written = std::snprintf(path.data(), path.size(), "%s/Library/Caches/panoctl", home);
    return written > 0 && static_cast<size_t>(written) < path.size();
}
