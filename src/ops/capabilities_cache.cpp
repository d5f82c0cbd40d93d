#include "ops/capabilities_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "files/private_folder.h"
#include "ops/cache_header.h"
#include "platform/platform.h"

namespace {

// PATH_MAX on macOS; a longer cache folder is no cache.
using FolderPath = std::array<char, 1024>;
// The escaped id, '.', the escaped serial, '.', the path's 16 hex digits,
// ".capabilities" and the NUL.
using CacheName = std::array<char, 3 * sizeof(DisplayRecord::id) + 1 +
                                       3 * sizeof(DisplayRecord::serial) + 1 + 16 + 14>;
// The folder, '/', a temporary name ('.', the cache name, ".XXXXXX").
using FilePath = std::array<char, sizeof(FolderPath) + 1 + sizeof(CacheName) + 8>;
// A temporary file older than this was left by a run that was killed.
constexpr time_t kStaleTemporarySeconds = 60;
// A whole cache file, read at once, and one byte to see that it is longer.
using FileText = std::array<char, kMaxCacheFileBytes + 1>;

// "<id>.<serial>.<path checksum>.capabilities": '.' is escaped within the
// id and serial, so every display has a name of its own, identical
// displays (same id and serial) included, told apart by their registry path.
bool cacheName(const DisplayRecord& display, CacheName* name)
{
    std::array<char, 3 * sizeof(DisplayRecord::id) + 1> id{};
    std::array<char, 3 * sizeof(DisplayRecord::serial) + 1> serial{};
    if (!escapeForFileName(display.id.data(), id) ||
        !escapeForFileName(display.serial.data(), serial)) {
        return false;
    }
    int written =
        std::snprintf(name->data(), name->size(), "%s.%s.%016" PRIx64 ".capabilities", id.data(),
                      serial.data(), cacheChecksum(display.registryPath.data()));
    return written > 0 && static_cast<size_t>(written) < name->size();
}

// A capabilities string as a reading gives one: text with no NUL in it
// (reading stops at a NUL), and not more than a reading holds.
bool usableText(std::string_view text)
{
    return !text.empty() && text.size() < sizeof(CapabilitiesText) &&
           text.find('\0') == std::string_view::npos;
}

// Reads the whole file, when it is the user's own regular file and not
// larger than a cache file can be, and copies the text its header vouches
// for into `text`.
size_t readCacheFile(int fd, const DisplayRecord& display, CapabilitiesText* text)
{
    struct stat info {};
    if (checkOwnedFile(fd, S_IFREG, "is not a regular file", false).failed() ||
        fstat(fd, &info) != 0 || info.st_size <= 0 ||
        static_cast<size_t>(info.st_size) > kMaxCacheFileBytes) {
        return 0;
    }
    FileText file{};
    size_t length = 0;
    while (length < file.size()) {
        ssize_t n = read(fd, file.data() + length, file.size() - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return 0;
        }
        if (n == 0) {
            break;
        }
        length += static_cast<size_t>(n);
    }
    // A file that grew while it was read is not the one that was checked.
    if (length != static_cast<size_t>(info.st_size)) {
        return 0;
    }
    std::string_view kept = cachedText(display, std::string_view(file.data(), length));
    if (!usableText(kept)) {
        return 0;
    }
    std::memcpy(text->data(), kept.data(), kept.size());
    (*text)[kept.size()] = '\0';
    return kept.size();
}

// A temporary name of storeCachedCapabilities: '.', a cache name, '.' and
// the six letters or digits mkstemp put in place of "XXXXXX".
bool isTemporaryName(std::string_view name)
{
    constexpr std::string_view kEnd = ".capabilities.";
    if (name.size() < 1 + kEnd.size() + 6 || name[0] != '.' ||
        name.substr(name.size() - 6 - kEnd.size(), kEnd.size()) != kEnd) {
        return false;
    }
    for (char c : name.substr(name.size() - 6)) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

// Removes the temporary files that runs killed while writing left in the
// folder: the user's own regular files of that name untouched for over a
// minute, so a run writing one now is not disturbed.
void removeStaleTemporaries(int dir)
{
    int listed = dup(dir);
    DIR* folder = listed >= 0 ? fdopendir(listed) : nullptr;
    if (folder == nullptr) {
        if (listed >= 0) {
            close(listed);
        }
        return;
    }
    time_t now = time(nullptr);
    // readdir on a stream of this thread's own is safe; readdir_r is the
    // deprecated form.
    // cppcheck-suppress readdirCalled
    while (const dirent* entry = readdir(folder)) {
        struct stat info {};
        if (isTemporaryName(entry->d_name) &&
            fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == geteuid() && now - info.st_mtime > kStaleTemporarySeconds) {
            unlinkat(dir, entry->d_name, 0);
        }
    }
    closedir(folder);
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

size_t loadCachedCapabilities(const DisplayRecord& display, CapabilitiesText* text)
{
    (*text)[0] = '\0';
    FolderPath folder{};
    CacheName name{};
    if (!cacheDirectoryPath(folder) || !cacheName(display, &name)) {
        return 0;
    }
    int dir = open(folder.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        return 0;
    }
    size_t length = 0;
    if (!checkOwnedFile(dir, S_IFDIR, "is not a directory", true).failed()) {
        // Non-blocking: a FIFO planted under the name opens at once, then is refused.
        int fd = openat(dir, name.data(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            length = readCacheFile(fd, display, text);
            close(fd);
        }
    }
    close(dir);
    if (length == 0) {
        (*text)[0] = '\0';
    }
    return length;
}

void storeCachedCapabilities(const DisplayRecord& display, std::string_view text)
{
    FolderPath folder{};
    CacheName name{};
    std::array<char, kMaxCacheHeaderBytes> header{};
    size_t headerLength = usableText(text) ? writeCacheHeader(display, text, header) : 0;
    if (headerLength == 0 || headerLength + text.size() > kMaxCacheFileBytes ||
        !cacheDirectoryPath(folder) || !cacheName(display, &name)) {
        return;
    }
    int dir = -1;
    if (openPrivateFolder(folder.data(), true, &dir).failed()) {
        return;
    }
    removeStaleTemporaries(dir);
    close(dir);
    FilePath temporary{};
    FilePath target{};
    int written = std::snprintf(temporary.data(), temporary.size(), "%s/.%s.XXXXXX", folder.data(),
                                name.data());
    int targetWritten =
        std::snprintf(target.data(), target.size(), "%s/%s", folder.data(), name.data());
    if (written <= 0 || static_cast<size_t>(written) >= temporary.size() || targetWritten <= 0 ||
        static_cast<size_t>(targetWritten) >= target.size()) {
        return;
    }
    // mkstemp creates the file exclusively, mode 0600, under a name of its
    // own choosing; a link planted at that name makes it choose another.
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    // On disk before the rename, so a crash cannot leave a cut string in
    // place of a whole one.
    bool kept = writeAll(fd, std::string_view(header.data(), headerLength)) && writeAll(fd, text) &&
                fsync(fd) == 0;
    kept = close(fd) == 0 && kept;
    if (!kept || std::rename(temporary.data(), target.data()) != 0) {
        unlink(temporary.data());
    }
}
