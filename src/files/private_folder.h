// Folders and files that panoctl keeps for the user (display lock files, the
// capabilities cache): a folder only the user can write to, opened without
// following a symbolic link, and file names made from display ids.
#pragma once

#include <sys/types.h>

#include <span>

// Why a folder or file cannot be used: a description ("is a symbolic link")
// or, when that is null, the system's error number.
struct FileProblem {
    const char* problem = nullptr;
    int error = 0;
    bool failed() const { return problem != nullptr || error != 0; }
};

// Creates the folder at `path` with mode 0700 when it is missing (and its
// parent folder too, when `makeParent` and that is missing), then opens it
// into `*fd` without following a link. The folder must be the user's own
// and closed to other users' writes, or they could swap files under us.
FileProblem openPrivateFolder(const char* path, bool makeParent, int* fd);

// Checks an open descriptor: it must be of `type` (S_IFREG, S_IFDIR), the
// user's own, and with `refuseSharedWrites`, closed to other users' writes.
FileProblem checkOwnedFile(int fd, mode_t type, const char* wrongType, bool refuseSharedWrites);

// `text` as part of a file name that is readable for the usual EDID UUID:
// digits, upper-case letters and '-' stay; every other byte (lower case
// included, so that names stay distinct where the file system ignores case)
// becomes '_' and two hex digits. False when `out` has no room.
bool escapeForFileName(const char* text, std::span<char> out);
