#include "files/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kPathCapacity = 1024;

// mkdir of the folder, and of its parent first when that is what is missing.
int makeFolder(const char* path, bool makeParent)
{
    if (mkdir(path, 0700) == 0 || errno == EEXIST) {
        return 0;
    }
    if (errno != ENOENT || !makeParent) {
        return errno;
    }
    std::array<char, kPathCapacity> parent{};
    size_t length = std::strlen(path);
    while (length > 0 && path[length - 1] == '/') {
        length--;  // a trailing '/' names the folder itself
    }
    size_t slash = length;
    while (slash > 0 && path[slash - 1] != '/') {
        slash--;
    }
    // The parent is what comes before the last '/': none, or the root.
    if (slash <= 1 || slash - 1 >= parent.size()) {
        return ENOENT;
    }
    std::memcpy(parent.data(), path, slash - 1);
    if (mkdir(parent.data(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    return mkdir(path, 0700) == 0 || errno == EEXIST ? 0 : errno;
}

}  // namespace

FileProblem checkOwnedFile(int fd, mode_t type, const char* wrongType, bool refuseSharedWrites)
{
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return {nullptr, errno};
    }
    if ((info.st_mode & S_IFMT) != type) {
        return {wrongType};
    }
    if (info.st_uid != geteuid()) {
        return {"belongs to another user"};
    }
    if (refuseSharedWrites && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return {"is writable by other users"};
    }
    return {};
}

FileProblem openPrivateFolder(const char* path, bool makeParent, int* fd)
{
    *fd = -1;
    if (int error = makeFolder(path, makeParent); error != 0) {
        return {nullptr, error};
    }
    struct stat info {};
    if (lstat(path, &info) != 0) {
        return {nullptr, errno};
    }
    if (S_ISLNK(info.st_mode)) {
        return {"is a symbolic link"};
    }
    int opened = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (opened < 0) {
        return errno == ENOTDIR ? FileProblem{"is not a directory"} : FileProblem{nullptr, errno};
    }
    FileProblem problem = checkOwnedFile(opened, S_IFDIR, "is not a directory", true);
    if (problem.failed()) {
        close(opened);
        return problem;
    }
    *fd = opened;
    return {};
}

bool escapeForFileName(const char* text, std::span<char> out)
{
    constexpr std::array<char, 17> kDigits{"0123456789ABCDEF"};
    size_t length = 0;
    for (const char* c = text; *c != '\0'; c++) {
        bool plain = (*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z') || *c == '-';
        if (length + (plain ? 1 : 3) >= out.size()) {
            return false;
        }
        if (plain) {
            out[length++] = *c;
            continue;
        }
        auto byte = static_cast<unsigned char>(*c);
        out[length++] = '_';
        out[length++] = kDigits[byte >> 4];
        out[length++] = kDigits[byte & 0x0F];
    }
    if (out.empty()) {
        return false;
    }
    out[length] = '\0';
    return true;
}
