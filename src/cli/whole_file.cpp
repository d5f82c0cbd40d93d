#include "cli/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The folder part of `path` ("." when it has none), and the file name.
bool splitPath(const char* path, std::array<char, PATH_MAX>* folder, const char** name)
{
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::snprintf(folder->data(), folder->size(), ".");
        *name = path;
        return true;
    }
    auto length = static_cast<size_t>(slash - path);
    if (length >= folder->size()) {
        return false;
    }
    std::memcpy(folder->data(), path, length == 0 ? 1 : length);  // "/file" lives in "/"
    (*folder)[length == 0 ? 1 : length] = '\0';
    *name = slash + 1;
    return true;
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The mode the file at `path` has, or what the umask leaves of 0666.
mode_t modeFor(const char* path)
{
    struct stat old {};
    if (stat(path, &old) == 0) {
        return old.st_mode & 07777;
    }
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The folder's own record of the rename reaches the disk too; a folder
// that cannot be synced leaves the file in place all the same.
void syncFolder(const char* folder)
{
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

bool replaceFileWhole(const char* path, std::string_view text, int* error)
{
    std::array<char, PATH_MAX> folder{};
    const char* name = nullptr;
    std::array<char, PATH_MAX> temporary{};
    int length = 0;
    if (*path == '\0' || !splitPath(path, &folder, &name) ||
        (length = std::snprintf(temporary.data(), temporary.size(), "%s/.%s.XXXXXX", folder.data(),
                                name)) < 0 ||
        static_cast<size_t>(length) >= temporary.size()) {
        *error = *path == '\0' ? ENOENT : ENAMETOOLONG;
        return false;
    }
    // An exclusive file under a name no other run can predict.
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    bool written = writeAll(fd, text) && fchmod(fd, modeFor(path)) == 0 && fsync(fd) == 0;
    int reason = errno;
    if (close(fd) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (written && rename(temporary.data(), path) == 0) {
        syncFolder(folder.data());
        return true;
    }
    *error = written ? errno : reason;
    unlink(temporary.data());
    return false;
}
