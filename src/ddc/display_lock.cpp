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

namespace {

// PATH_MAX on macOS; a longer lock folder is refused, not cut.
constexpr size_t kPathCapacity = 1024;
using IdText = std::array<char, sizeof(DisplayRecord::id)>;
// "display-", the id with each byte escaped at most to three, the longer
// suffix (".queue") and the NUL.
using FileName = std::array<char, 8 + 3 * sizeof(DisplayRecord::id) + 6 + 1>;
// Displays warned about in this process; the table may be filled again
// and again, with the same displays.
constexpr size_t kMaxWarnedDisplays = 32;

// Why locking was skipped: a description ("is a symbolic link") or, when
// that is null, the system's error number.
struct LockFailure {
    const char* problem = nullptr;
    int error = 0;
    bool failed() const { return problem != nullptr || error != 0; }
};

enum class State : uint8_t { Closed, Open, Unusable };

struct LockDirectory {
    State state = State::Closed;
    int fd = -1;
    std::array<char, kPathCapacity> path{};
    LockFailure failure;
};

// Parallel to the display table: the files of the record at that index,
// kept open for the table's lifetime so a transaction costs four flock calls.
// The lock file is held for a transaction. The queue file is held by the one
// process waiting for the lock file, so a process that has just released the
// lock cannot take it again before that waiter: flock alone lets the holder
// of a long run of transactions (a capabilities read) win every time.
struct LockSlot {
    State state = State::Closed;
    int lockFd = -1;
    int queueFd = -1;
    int depth = 0;  // guards alive on this display in this process
    IdText id{};    // the display the files were opened for
};

LockDirectory g_directory;
std::array<LockSlot, kMaxDisplays> g_slots;
std::array<IdText, kMaxWarnedDisplays> g_warned{};
size_t g_warnedCount = 0;

// The id as a file name that is readable for the usual EDID UUID: digits,
// upper-case letters and '-' stay; every other byte (lower case included, so
// that names stay distinct where the file system ignores case) becomes '_'
// and two hex digits.
bool lockFileName(const IdText& id, const char* suffix, FileName* name)
{
    constexpr std::array<char, 17> kDigits{"0123456789ABCDEF"};
    std::array<char, 3 * sizeof(IdText) + 1> escaped{};
    size_t length = 0;
    for (size_t i = 0; i < id.size() && id[i] != '\0'; i++) {
        char c = id[i];
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-') {
            escaped[length++] = c;
            continue;
        }
        auto byte = static_cast<unsigned char>(c);
        escaped[length++] = '_';
        escaped[length++] = kDigits[byte >> 4];
        escaped[length++] = kDigits[byte & 0x0F];
    }
    int written = std::snprintf(name->data(), name->size(), "display-%s%s", escaped.data(), suffix);
    return written > 0 && static_cast<size_t>(written) < name->size();
}

// One line per display per process, however often its locking fails.
void warnOnce(const DisplayRecord& display, const char* fileName, const LockFailure& failure)
{
    for (size_t i = 0; i < g_warnedCount; i++) {
        if (std::strcmp(g_warned[i].data(), display.id.data()) == 0) {
            return;
        }
    }
    if (g_warnedCount < g_warned.size()) {
        copyText(g_warned[g_warnedCount++], display.id.data());
    }
    const char* separator = fileName != nullptr ? "/" : "";
    const char* file = fileName != nullptr ? fileName : "";
    if (failure.problem != nullptr) {
        std::fprintf(stderr, "panoctl: cannot lock display %s: %s%s%s %s\n", display.id.data(),
                     g_directory.path.data(), separator, file, failure.problem);
    } else {
        std::fprintf(stderr, "panoctl: cannot lock display %s: %s%s%s: %s\n", display.id.data(),
                     g_directory.path.data(), separator, file, std::strerror(failure.error));
    }
}

// The descriptor must be of `type` and the user's own; a folder must also be
// closed to other users' writes, or they could swap lock files under us.
LockFailure checkOpened(int fd, mode_t type, const char* wrongType, bool refuseSharedWrites)
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

// Creates the folder when missing and opens it without following a link, so
// the lock files are opened relative to the very folder that was checked.
LockFailure openDirectory()
{
    char* path = g_directory.path.data();
    if (!lockDirectoryPath(g_directory.path)) {
        copyText(g_directory.path, "the lock directory");
        return {"cannot be named"};
    }
    if (mkdir(path, 0700) != 0 && errno != EEXIST) {
        return {nullptr, errno};
    }
    struct stat info {};
    if (lstat(path, &info) != 0) {
        return {nullptr, errno};
    }
    if (S_ISLNK(info.st_mode)) {
        return {"is a symbolic link"};
    }
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOTDIR ? LockFailure{"is not a directory"} : LockFailure{nullptr, errno};
    }
    LockFailure failure = checkOpened(fd, S_IFDIR, "is not a directory", true);
    if (failure.failed()) {
        close(fd);
        return failure;
    }
    g_directory.fd = fd;
    return {};
}

// Read-only and non-blocking: flock needs no more, and a FIFO planted under
// the name then opens at once instead of waiting for a writer.
LockFailure openLockFile(const char* name, int* fd)
{
    *fd = openat(g_directory.fd, name, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                 0600);
    if (*fd < 0) {
        if (errno == ELOOP) {
            return {"is a symbolic link"};
        }
        return errno == EISDIR ? LockFailure{"is not a regular file"} : LockFailure{nullptr, errno};
    }
    LockFailure failure = checkOpened(*fd, S_IFREG, "is not a regular file", false);
    if (failure.failed()) {
        close(*fd);
        *fd = -1;
    }
    return failure;
}

void closeSlot(LockSlot* slot)
{
    for (int fd : {slot->lockFd, slot->queueFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    *slot = LockSlot{};
}

bool openDirectoryOnce(const DisplayRecord& display)
{
    if (g_directory.state == State::Closed) {
        g_directory.failure = openDirectory();
        g_directory.state = g_directory.failure.failed() ? State::Unusable : State::Open;
    }
    if (g_directory.state == State::Unusable) {
        warnOnce(display, nullptr, g_directory.failure);
        return false;
    }
    return true;
}

bool openFile(const DisplayRecord& display, const IdText& id, const char* suffix, int* fd)
{
    FileName name{};
    if (!lockFileName(id, suffix, &name)) {
        warnOnce(display, nullptr, {"has no room for the lock file's name"});
        return false;
    }
    LockFailure failure = openLockFile(name.data(), fd);
    if (failure.failed()) {
        warnOnce(display, name.data(), failure);
        return false;
    }
    return true;
}

void openSlot(const DisplayRecord& display, LockSlot* slot)
{
    copyText(slot->id, display.id.data());
    slot->state = State::Unusable;
    if (openDirectoryOnce(display) && openFile(display, slot->id, ".lock", &slot->lockFd) &&
        openFile(display, slot->id, ".queue", &slot->queueFd)) {
        slot->state = State::Open;
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
bool lockExclusive(const DisplayRecord& display, LockSlot* slot)
{
    const char* suffix = ".queue";
    if (flockRetrying(slot->queueFd, LOCK_EX)) {
        suffix = ".lock";
        bool locked = flockRetrying(slot->lockFd, LOCK_EX);
        int error = errno;
        flock(slot->queueFd, LOCK_UN);
        if (locked) {
            return true;
        }
        errno = error;
    }
    LockFailure failure{nullptr, errno};
    FileName name{};
    warnOnce(display, lockFileName(slot->id, suffix, &name) ? name.data() : nullptr, failure);
    closeSlot(slot);
    copyText(slot->id, display.id.data());
    slot->state = State::Unusable;
    return false;
}

void closeDirectory()
{
    if (g_directory.fd >= 0) {
        close(g_directory.fd);
    }
    g_directory = LockDirectory{};
}

bool removedWhileOpen(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_nlink == 0;
}

// Locks the file that is at the lock file's name now. One removed while it
// was open (say, by a cleaner of old temporary files, folder and all) would
// lock nothing that newer runs see, so it is opened afresh instead.
bool lockCurrentFile(const DisplayRecord& display, LockSlot* slot)
{
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; attempt++) {
        if (slot->state == State::Closed) {
            openSlot(display, slot);
        }
        if (slot->state != State::Open || !lockExclusive(display, slot)) {
            return false;
        }
        if (!removedWhileOpen(slot->lockFd)) {
            return true;
        }
        closeSlot(slot);
        closeDirectory();
    }
    warnOnce(display, nullptr, {"keeps losing its lock files"});
    return false;
}

int32_t tableIndexOf(const DisplayRecord& display)
{
    for (int32_t i = 0; i < g_count && i < kMaxDisplays; i++) {
        if (&g_displays[i] == &display) {
            return i;
        }
    }
    return -1;
}

}  // namespace

DisplayLockGuard::DisplayLockGuard(const DisplayRecord& display)
{
    int32_t index = tableIndexOf(display);
    if (index < 0) {
        return;
    }
    LockSlot& slot = g_slots[index];
    if (slot.depth == 0) {
        // A table filled again without releaseDisplayLocks must not lock
        // one display through another's file.
        if (slot.state != State::Closed && std::strcmp(slot.id.data(), display.id.data()) != 0) {
            closeSlot(&slot);
        }
        if (!lockCurrentFile(display, &slot)) {
            return;
        }
    }
    slot.depth++;
    slot_ = index;
}

DisplayLockGuard::~DisplayLockGuard()
{
    release();
}

void DisplayLockGuard::release()
{
    if (slot_ < 0) {
        return;
    }
    LockSlot& slot = g_slots[slot_];
    slot_ = -1;
    // Zero when the locks were released while this guard was alive.
    if (slot.depth > 0 && --slot.depth == 0 && slot.lockFd >= 0) {
        flock(slot.lockFd, LOCK_UN);
    }
}

void releaseDisplayLocks()
{
    for (LockSlot& slot : g_slots) {
        closeSlot(&slot);
    }
    closeDirectory();
}
