// Where the simulation keeps its lock files: PANOCTL_SIM_LOCKS, or a folder
// of the user's own under the system's temporary folder. Read at each call,
// so a process that empties its display table may point it elsewhere.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"

bool lockDirectoryPath(std::span<char> path)
{
    std::string directory;
    const char* configured = std::getenv("PANOCTL_SIM_LOCKS");
    if (configured != nullptr && *configured != '\0') {
        directory = configured;
    } else {
        std::error_code error;
        std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
        if (error) {
            temporary = "/tmp";
        }
        directory = (temporary / ("panoctl-locks-" + std::to_string(geteuid()))).string();
    }
    if (path.empty() || directory.size() >= path.size()) {
        return false;
    }
    std::copy(directory.begin(), directory.end(), path.begin());
    path[directory.size()] = '\0';
    return true;
}
