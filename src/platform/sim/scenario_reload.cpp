// Displays that come and go: from the second discovery of a process on, and
// while a run loop waits for registry notifications, the scenario file is
// read again when it changed since it was last read, and the simulated
// machine becomes the one it now describes. A file that can no longer be
// read or parsed ends the process as a broken scenario does at start-up,
// unless the process watches the registry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <utility>

#include "json_input.h"
#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

// Timestamps advance in ticks coarser than their nanosecond field: a file
// changed less than this long before it was read may change again unseen.
constexpr int64_t kRacyWindowSeconds = 2;

FileStamp stampOf(const struct stat& info)
{
    FileStamp stamp;
    stamp.device = static_cast<uint64_t>(info.st_dev);
    stamp.inode = static_cast<uint64_t>(info.st_ino);
    stamp.size = static_cast<int64_t>(info.st_size);
#if defined(__APPLE__)
    const timespec& modified = info.st_mtimespec;  // macOS's name for st_mtim
#else
    const timespec& modified = info.st_mtim;
#endif
    stamp.modifiedSeconds = static_cast<int64_t>(modified.tv_sec);
    stamp.modifiedNanoseconds = static_cast<int64_t>(modified.tv_nsec);
    return stamp;
}

bool isRacy(const FileStamp& stamp)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) - stamp.modifiedSeconds < kRacyWindowSeconds;
}

size_t hashOf(std::string_view text)
{
    return std::hash<std::string_view>{}(text);
}

// The process ends here, as configureFromEnvironment's caller ends it for a
// broken scenario: what was answered so far stays answered, and values the
// monitors took are kept in the state file first.
[[noreturn]] void failReload(const std::string& path, const std::string& what)
{
    std::fflush(stdout);
    reportError("scenario " + path + ": " + what);
    std::string error;
    if (!finishRun(&error)) reportError(error);
    std::exit(2);
}

}  // namespace

bool readTextFile(const std::string& path, std::string* text, FileStamp* stamp, std::string* error)
{
    // Non-blocking: a FIFO put in the file's place opens at once, with no
    // writer to wait for, and is then refused like anything not a file.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open (" + describeError(errno) + ")";
        return false;
    }
    struct stat info {};
    *stamp = fstat(fd, &info) == 0 ? stampOf(info) : FileStamp{};
    if (!S_ISREG(info.st_mode)) {
        *error = "not a regular file";
        close(fd);
        return false;
    }
    bool read = readInput(fd, text, error);
    close(fd);
    return read;
}

void watchScenario(const std::string& path, const FileStamp& stamp, std::string_view text)
{
    ScenarioWatch& watch = state().watch;
    watch.path = path;
    watch.stamp = stamp;
    watch.contentHash = hashOf(text);
    watch.racy = isRacy(stamp);
    watch.failure.clear();
}

namespace {

enum class Reload { unchanged, replaced, broken };

// Loads the scenario file again if it changed since it was last read. A
// version that cannot be loaded is remembered as read, so it is reported
// once, and leaves the machine as it was.
Reload reloadIfChanged(std::string* error)
{
    ScenarioWatch& watch = state().watch;
    struct stat info {};
    FileStamp now = stat(watch.path.c_str(), &info) == 0 ? stampOf(info) : FileStamp{};
    if (now == watch.stamp && !watch.racy) {
        return Reload::unchanged;
    }
    std::string path = watch.path;
    std::string text;
    FileStamp stamp;
    if (!readTextFile(path, &text, &stamp, error)) {
        // Read again while its time stamp is too recent to trust, an
        // unreadable file is still reported once until it changes.
        bool reported = !watch.failure.empty() && watch.stamp == now && watch.failure == *error;
        watchScenario(path, now, "");
        watch.failure = *error;
        return reported ? Reload::unchanged : Reload::broken;
    }
    // After a read that failed, the hash is of no text that was read.
    if (watch.failure.empty() && hashOf(text) == watch.contentHash) {
        // Touched or rewritten with the same text: the machine stays.
        watchScenario(path, stamp, text);
        return Reload::unchanged;
    }
    watchScenario(path, stamp, text);
    Machine machine;
    if (!buildMachine(text, &machine, error)) {
        return Reload::broken;
    }
    replaceMachine(std::move(machine));
    return Reload::replaced;
}

// A watching process goes on with the last good machine: the rewrite may be
// half done, and the next one may be whole.
void reload()
{
    std::string error;
    if (reloadIfChanged(&error) != Reload::broken) {
        return;
    }
    if (!watchingRegistry()) {
        failReload(state().watch.path, error);
    }
    reportError("scenario " + state().watch.path + ": " + error);
}

}  // namespace

void reloadScenarioIfChanged()
{
    const std::lock_guard<std::recursive_mutex> hold(machineGuard());
    if (!state().watch.path.empty()) {
        reload();
    }
}

std::chrono::steady_clock::time_point checkScenarioWhileWaiting()
{
    const std::lock_guard<std::recursive_mutex> hold(machineGuard());
    State& s = state();
    if (s.watch.path.empty()) {
        return std::chrono::steady_clock::time_point::max();
    }
    auto now = std::chrono::steady_clock::now();
    if (now - s.lastScenarioCheck >= kScenarioCheckInterval) {
        s.lastScenarioCheck = now;
        reload();
    }
    return s.lastScenarioCheck + kScenarioCheckInterval;
}

}  // namespace sim
