#include "ddc/display_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "ddc/link.h"
#include "files/private_folder.h"

namespace {

// Copies NUL-terminated text into a fixed field, cut to fit and terminated.
void copyField(std::span<char> field, const char* text)
{
    std::snprintf(field.data(), field.size(), "%s", text);
}

using IdText = std::array<char, sizeof(DisplayLockFiles::openedFor)>;
using FileName = DisplayFileName;

bool lockFileName(const IdText& id, const char* suffix, FileName* name)
{
    return displayFileName(id.data(), suffix, name);
}

// Leaves the display's first failure since its warning was last taken, as
// the warning line's text; `folderPath` is the lock folder's path as it
// stands (the caller holds the folder's guard or is alone with it).
void noteFailure(const DdcLink& link, const char* folderPath, const char* fileName,
                 const LockFailure& failure)
{
    LockWarning& warning = link.lock->warning;
    if (warning.pending) {
        return;
    }
    warning.pending = true;
    const char* separator = fileName != nullptr ? "/" : "";
    const char* file = fileName != nullptr ? fileName : "";
    if (failure.problem != nullptr) {
        std::snprintf(warning.text.data(), warning.text.size(),
                      "panoctl: cannot lock display %s: %s%s%s %s", link.displayId, folderPath,
                      separator, file, failure.problem);
    } else {
        std::snprintf(warning.text.data(), warning.text.size(),
                      "panoctl: cannot lock display %s: %s%s%s: %s", link.displayId, folderPath,
                      separator, file, std::strerror(failure.error));
    }
}

void noteFailureOutsideFolder(LockFolder* folder, const DdcLink& link, const char* fileName,
                              const LockFailure& failure)
{
    std::lock_guard<std::mutex> hold(folder->guard);
    noteFailure(link, folder->path.data(), fileName, failure);
}

// Creates the folder when missing and opens it without following a link, so
// the lock files are opened relative to the very folder that was checked.
LockFailure openDirectory(LockFolder* folder)
{
    char* path = folder->path.data();
    if (!lockDirectoryPath(folder->path)) {
        copyField(folder->path, "the lock directory");
        return {"cannot be named"};
    }
    return openPrivateFolder(path, false, &folder->fd);
}

// Read-only and non-blocking: flock needs no more, and a FIFO planted under
// the name then opens at once instead of waiting for a writer.
LockFailure openLockFile(const LockFolder& folder, const char* name, int* fd)
{
    *fd = openat(folder.fd, name, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (*fd < 0) {
        if (errno == ELOOP) {
            return {"is a symbolic link"};
        }
        return errno == EISDIR ? LockFailure{"is not a regular file"} : LockFailure{nullptr, errno};
    }
    LockFailure failure = checkOwnedFile(*fd, S_IFREG, "is not a regular file", false);
    if (failure.failed()) {
        close(*fd);
        *fd = -1;
    }
    return failure;
}

// The folder's guard is held.
bool openDirectoryOnce(LockFolder* folder, const DdcLink& link)
{
    if (folder->state == LockState::closed) {
        folder->failure = openDirectory(folder);
        folder->state = folder->failure.failed() ? LockState::unusable : LockState::open;
    }
    if (folder->state == LockState::unusable) {
        noteFailure(link, folder->path.data(), nullptr, folder->failure);
        return false;
    }
    return true;
}

// The folder's guard is held.
bool openFile(const LockFolder& folder, const DdcLink& link, const char* suffix, int* fd)
{
    FileName name{};
    if (!lockFileName(link.lock->files.openedFor, suffix, &name)) {
        noteFailure(link, folder.path.data(), nullptr, {"has no room for the lock file's name"});
        return false;
    }
    LockFailure failure = openLockFile(folder, name.data(), fd);
    if (failure.failed()) {
        noteFailure(link, folder.path.data(), name.data(), failure);
        return false;
    }
    return true;
}

void openFiles(LockFolder* folder, const DdcLink& link)
{
    std::lock_guard<std::mutex> hold(folder->guard);
    DisplayLockFiles& files = link.lock->files;
    copyField(files.openedFor, link.displayId);
    files.state = LockState::unusable;
    if (openDirectoryOnce(folder, link) && openFile(*folder, link, ".lock", &files.lockFd) &&
        openFile(*folder, link, ".queue", &files.queueFd)) {
        files.state = LockState::open;
    }
}

bool flockRetrying(int fd, int operation)
{
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Waits for the other processes' transactions on this display: first for
// the queue (behind at most one waiter), then, holding it, for the lock. A
// lock that cannot be taken at all leaves the display unlocked for the
// table's life.
bool lockExclusive(LockFolder* folder, const DdcLink& link)
{
    DisplayLockFiles& files = link.lock->files;
    const char* suffix = ".queue";
    if (flockRetrying(files.queueFd, LOCK_EX)) {
        suffix = ".lock";
        bool locked = flockRetrying(files.lockFd, LOCK_EX);
        int error = errno;
        flock(files.queueFd, LOCK_UN);
        if (locked) {
            return true;
        }
        errno = error;
    }
    LockFailure failure{nullptr, errno};
    FileName name{};
    noteFailureOutsideFolder(folder, link,
                             lockFileName(files.openedFor, suffix, &name) ? name.data() : nullptr,
                             failure);
    closeLockFiles(&files);
    copyField(files.openedFor, link.displayId);
    files.state = LockState::unusable;
    return false;
}

bool removedWhileOpen(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_nlink == 0;
}

// Locks the file that is at the lock file's name now. One removed while it
// was open (say, by a cleaner of old temporary files, folder and all) would
// lock nothing that newer runs see, so it is opened afresh instead.
bool lockCurrentFile(LockFolder* folder, const DdcLink& link)
{
    constexpr int kAttempts = 3;
    DisplayLockFiles& files = link.lock->files;
    for (int attempt = 0; attempt < kAttempts; attempt++) {
        if (files.state == LockState::closed) {
            openFiles(folder, link);
        }
        if (files.state != LockState::open || !lockExclusive(folder, link)) {
            return false;
        }
        if (!removedWhileOpen(files.lockFd)) {
            return true;
        }
        closeLockFiles(&files);
        std::lock_guard<std::mutex> hold(folder->guard);
        closeLockFolder(folder);
    }
    noteFailureOutsideFolder(folder, link, nullptr, {"keeps losing its lock files"});
    return false;
}

}  // namespace

bool displayFileName(const char* id, const char* suffix, DisplayFileName* name)
{
    std::array<char, 3 * sizeof(IdText) + 1> escaped{};
    if (!escapeForFileName(id, escaped)) {
        return false;
    }
    int written = std::snprintf(name->data(), name->size(), "display-%s%s", escaped.data(), suffix);
    return written > 0 && static_cast<size_t>(written) < name->size();
}

int lockFolderDescriptor(LockFolder* folder)
{
    if (folder == nullptr) {
        return -1;
    }
    std::lock_guard<std::mutex> hold(folder->guard);
    if (folder->state == LockState::closed) {
        folder->failure = openDirectory(folder);
        folder->state = folder->failure.failed() ? LockState::unusable : LockState::open;
    }
    return folder->state == LockState::open ? folder->fd : -1;
}

DisplayLockGuard::DisplayLockGuard(const DdcLink& link)
{
    if (link.lock == nullptr || link.lockFolder == nullptr) {
        return;
    }
    DisplayLockFiles& files = link.lock->files;
    if (files.depth == 0) {
        // Displays found again must not lock one display through another's file.
        if (files.state != LockState::closed &&
            std::strcmp(files.openedFor.data(), link.displayId) != 0) {
            closeLockFiles(&files);
        }
        if (!lockCurrentFile(link.lockFolder, link)) {
            return;
        }
    }
    files.depth++;
    files_ = &files;
}

DisplayLockGuard::~DisplayLockGuard()
{
    release();
}

void DisplayLockGuard::release()
{
    if (files_ == nullptr) {
        return;
    }
    DisplayLockFiles& files = *files_;
    files_ = nullptr;
    // Zero when the locks were released while this guard was alive.
    if (files.depth > 0 && --files.depth == 0 && files.lockFd >= 0) {
        flock(files.lockFd, LOCK_UN);
    }
}

void closeLockFiles(DisplayLockFiles* files)
{
    for (int fd : {files->lockFd, files->queueFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    *files = DisplayLockFiles{};
}

void closeLockFolder(LockFolder* folder)
{
    if (folder->fd >= 0) {
        close(folder->fd);
    }
    folder->fd = -1;
    folder->state = LockState::closed;
    folder->path.fill('\0');
    folder->failure = LockFailure{};
}
