// Monitor values kept from run to run in a state file: read and applied after
// the scenario at the start of a run, written back at its end when a value
// changed. Runs that share the file take turns on an exclusive lock on a
// companion file, "<path>.lock", held from the read to the write-back, so two
// concurrent `set` runs cannot both start from the same old values. The lock
// is not on the state file itself, which every write-back replaces.
//
// Write-back goes to a new file in the same folder, "<path>.tmp-XXXXXX" with
// a name no other run can predict, created exclusively with mode 0600, then
// flushed to disk and renamed over the state file: a run stopped at any
// moment leaves the old file or the new one, and at most a stray new file,
// which a later run removes once it is a minute old.
//
// The folder may be one that others can write to, such as /tmp. So none of
// the three paths is followed through a symbolic link (O_NOFOLLOW, and the
// exclusive create), the state file must be a regular file, and what is read
// is bounded by the input limit.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "json_input.h"
#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

using Json = nlohmann::ordered_json;
using CodeOf = std::pair<std::string, int>;  // monitor key, VCP code

// A new file older than this was left by a run that was killed.
constexpr time_t kStaleSeconds = 60;

struct StateRun {
    std::string path;
    int lockFd = -1;
    uint64_t generation = 0;  // the machine the values were applied to
    // Every VCP value of the machine right after the file was applied (and of
    // monitors plugged in since, as they came); a run changed a value when
    // the machine no longer matches it.
    std::map<CodeOf, int> loaded;
    std::set<CodeOf> named;  // codes the file gave a value for
    // Values of monitors the machine does not have (unplugged): kept as the
    // file gave them, or as the monitor left them when it was unplugged
    // during the run, and written back with the rest.
    Json absent = Json::object();
    bool absentChanged = false;  // a monitor unplugged during the run took a change with it
    // Under kPanelKey: how far each monitor took the panel file's presses,
    // and the presses a faithful one has not reported yet, as the file gave
    // them.
    Json panel = Json::object();
};

// A member no monitor key can clash with in practice: '$' starts no key the
// scenarios use.
constexpr const char* kPanelKey = "$panel";

StateRun& stateRun()
{
    static StateRun instance;
    return instance;
}

void release(StateRun& run)
{
    if (run.lockFd >= 0) close(run.lockFd);  // closing the descriptor drops the lock
    run = StateRun{};
}

std::string quoted(const std::string& key)
{
    return Json(key).dump();
}

std::string withErrno(const std::string& what, const std::string& path)
{
    return what + " " + path + " (" + describeError(errno) + ")";
}

// Opens `path` with `flags` and O_NOFOLLOW, and refuses anything but a
// regular file: a symbolic link is an error, not a path. A FIFO is opened
// without waiting for a writer, then refused.
int openRegular(const std::string& path, int flags, std::string* error)
{
    int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ELOOP) {
            *error = path + " is a symbolic link, not followed";
        } else if (errno == EISDIR) {
            *error = path + " is not a regular file";
        } else {
            *error = withErrno("cannot open", path);
        }
        return -1;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = path + " is not a regular file";
        close(fd);
        return -1;
    }
    return fd;
}

bool lock(const std::string& path, int* fd, std::string* error)
{
    std::string lockPath = path + ".lock";
    *fd = openRegular(lockPath, O_RDWR | O_CREAT, error);
    if (*fd < 0) return false;
    while (flock(*fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *error = withErrno("cannot lock", lockPath);
            close(*fd);
            *fd = -1;
            return false;
        }
    }
    return true;
}

// Removes new files that runs killed during their write-back left beside
// the state file: "<name>.tmp-" and six letters or digits, regular, the
// user's own, untouched for over a minute (a run writing one now is not
// stopped). Once per process: a batch does not list the folder per line.
void sweepStaleTemporaries(const std::string& path)
{
    static bool swept = false;
    if (swept) return;
    swept = true;
    std::filesystem::path statePath(path);
    std::filesystem::path folder = statePath.parent_path();
    std::string prefix = statePath.filename().string() + ".tmp-";
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
    time_t now = time(nullptr);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::string name = entries->path().filename().string();
        bool ours = name.size() == prefix.size() + 6 &&
                    name.compare(0, prefix.size(), prefix) == 0 &&
                    std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                                [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
        struct stat status {};
        if (ours && fstatat(dir, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
            now - status.st_mtime > kStaleSeconds) {
            unlinkat(dir, name.c_str(), 0);
        }
    }
    close(dir);
}

// The file's text; a missing file reads as an empty object.
bool readState(const std::string& path, std::string* text, std::string* error)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        *text = "{}";
        return true;
    }
    int fd = openRegular(path, O_RDONLY, error);
    if (fd < 0) return false;
    bool read = readInput(fd, text, error);
    close(fd);
    return read;
}

// The monitor with this key, or null; const or not as `monitors` is.
template <typename Monitors>
auto findMonitor(Monitors& monitors, const std::string& key) -> decltype(monitors.data())
{
    auto found = std::find_if(monitors.begin(), monitors.end(),
                              [&](const Monitor& m) { return m.key == key; });
    return found == monitors.end() ? nullptr : &*found;
}

struct Assignment {
    CodeOf code;
    int value;
};

// The values the file gives, each checked against the scenario's machine;
// those of monitors it lacks go to `absent` as they are.
// {"<monitor key>": {"lines": N, "pressed": [codes]}, ...}
bool parsePanel(const Json& panel, std::string* error)
{
    std::string where = "[" + quoted(kPanelKey) + "]";
    if (!panel.is_object()) {
        *error = where + ": expected an object";
        return false;
    }
    for (const auto& [key, progress] : panel.items()) {
        const Json* lines =
            progress.is_object() && progress.contains("lines") ? &progress["lines"] : nullptr;
        const Json* pressed =
            progress.is_object() && progress.contains("pressed") ? &progress["pressed"] : nullptr;
        bool codes = pressed != nullptr && pressed->is_array() &&
                     std::all_of(pressed->begin(), pressed->end(), [](const Json& code) {
                         return code.is_number_unsigned() && code.get<uint64_t>() <= 255;
                     });
        if (lines == nullptr || !lines->is_number_unsigned() || !codes) {
            *error = where + "[" + quoted(key) + "]: expected {\"lines\": N, \"pressed\": [codes]}";
            return false;
        }
    }
    return true;
}

bool parseState(const std::string& text, std::vector<Assignment>* values, Json* absent, Json* panel,
                std::string* error)
{
    Json document;
    if (!parseJson(text, &document, error)) return false;
    if (!document.is_object()) {
        *error = "expected a json object";
        return false;
    }
    if (auto found = document.find(kPanelKey); found != document.end()) {
        if (!parsePanel(*found, error)) return false;
        *panel = *found;
    }
    const std::vector<Monitor>& monitors = state().machine.monitors;
    for (const auto& item : document.items()) {
        const std::string& key = item.key();
        if (key == kPanelKey) continue;
        const Json& codes = item.value();
        std::string where = "[" + quoted(key) + "]";
        const Monitor* monitor = findMonitor(monitors, key);
        if (!codes.is_object()) {
            *error = where + ": expected an object";
            return false;
        }
        std::set<int> seen;
        for (const auto& [codeKey, value] : codes.items()) {
            std::string at = where + "[" + quoted(codeKey) + "]: ";
            int code = parseVcpCode(codeKey);
            if (code < 0) {
                *error = at + "not a vcp code (\"0x10\" or \"16\", up to 255)";
            } else if (!seen.insert(code).second) {
                *error = at + "code given twice";
            } else if (monitor != nullptr && monitor->vcp.count(code) == 0) {
                *error = at + "the scenario's monitor has no such code";
            } else if (!value.is_number_unsigned() || value.get<uint64_t>() > 65535) {
                *error = at + "expected an integer from 0 to 65535";
            } else {
                // A monitor the scenario lacks is unplugged: its values
                // wait in the file for it.
                if (monitor == nullptr) {
                    (*absent)[key][codeKey] = value;
                } else {
                    values->push_back({{key, code}, static_cast<int>(value.get<uint64_t>())});
                }
                continue;
            }
            return false;
        }
    }
    return true;
}

// Starts the bookkeeping of every value the machine has and the run has not
// seen yet, at its current value.
void recordNewValues(StateRun& run)
{
    for (const Monitor& monitor : state().machine.monitors) {
        for (const auto& [code, value] : monitor.vcp)
            run.loaded.try_emplace({monitor.key, code}, value.current);
    }
}

bool writeAll(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the state file with `text`: to a new file, to disk, renamed over.
// A link planted at the state path since it was read would only be replaced
// by the rename, not followed, but it is refused all the same.
bool replaceState(const std::string& path, const std::string& text, std::string* error)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        *error = path + (S_ISLNK(status.st_mode) ? " is a symbolic link, not followed"
                                                 : " is not a regular file");
        return false;
    }
    std::string name = path + ".tmp-XXXXXX";
    std::vector<char> temporaryName(name.begin(), name.end());
    temporaryName.push_back('\0');
    // mkostemp creates the file with O_EXCL and mode 0600 under a name of
    // its own choosing; a link planted at that name makes it try another.
    int fd = mkostemp(temporaryName.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = withErrno("cannot create", name);
        return false;
    }
    std::string temporary = temporaryName.data();
    bool written = writeAll(fd, text) && fsync(fd) == 0;
    if (!written) *error = withErrno("cannot write", temporary);
    if (close(fd) != 0 && written) {
        *error = withErrno("cannot write", temporary);
        written = false;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = withErrno("cannot rename " + temporary + " to", path);
        written = false;
    }
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder. Not every file
    // system can sync a folder; the new state is in place either way.
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

// Each monitor present takes up the panel file where the file says it got.
void applyPanelProgress(const StateRun& run)
{
    for (Monitor& monitor : state().machine.monitors) {
        auto kept = run.panel.find(monitor.key);
        if (kept == run.panel.end()) continue;
        monitor.panelLines = (*kept)["lines"].get<size_t>();
        // The run that took these lines traced those it could not read.
        state().panelChecked = std::max(state().panelChecked, monitor.panelLines);
        monitor.pressed.clear();
        for (const Json& code : (*kept)["pressed"]) monitor.pressed.push_back(code.get<int>());
    }
}

// The panel progress to write back: each monitor's that took a press, and
// the file's for monitors not plugged in.
Json panelProgress(const StateRun& run)
{
    Json panel = Json::object();
    for (const auto& [key, progress] : run.panel.items()) {
        if (findMonitor(state().machine.monitors, key) == nullptr) panel[key] = progress;
    }
    for (const Monitor& monitor : state().machine.monitors) {
        if (monitor.panelLines == 0 && monitor.pressed.empty()) continue;
        Json pressed = Json::array();
        for (int code : monitor.pressed) pressed.push_back(code);
        panel[monitor.key] = Json{{"lines", monitor.panelLines}, {"pressed", pressed}};
    }
    return panel;
}

}  // namespace

bool loadMonitorState(const std::string& path, std::string* error)
{
    StateRun& run = stateRun();
    release(run);
    int fd = -1;
    if (!lock(path, &fd, error)) return false;
    sweepStaleTemporaries(path);

    std::string text;
    std::vector<Assignment> values;
    if (!readState(path, &text, error) ||
        !parseState(text, &values, &run.absent, &run.panel, error)) {
        run.absent = Json::object();
        run.panel = Json::object();
        close(fd);
        return false;
    }
    std::vector<Monitor>& monitors = state().machine.monitors;
    for (const Assignment& assignment : values) {
        findMonitor(monitors, assignment.code.first)->vcp[assignment.code.second].current =
            assignment.value;
        run.named.insert(assignment.code);
    }
    recordNewValues(run);
    applyPanelProgress(run);
    run.path = path;
    run.lockFd = fd;
    run.generation = state().generation;
    return true;
}

bool saveMonitorState(std::string* error, const std::function<void()>& kept)
{
    StateRun& run = stateRun();
    if (run.lockFd < 0) {
        if (kept) kept();
        return true;
    }
    if (run.generation != state().generation) {
        *error = "the simulated machine was replaced during the run";
        release(run);
        return false;
    }
    // What the file remembers: the codes it named, and those this run changed.
    Json document = Json::object();
    bool changed = false;
    for (const auto& [code, before] : run.loaded) {
        const VcpValue& value =
            findMonitor(state().machine.monitors, code.first)->vcp.at(code.second);
        bool differs = value.current != before;
        changed = changed || differs;
        if (differs || run.named.count(code) != 0) {
            document[code.first][value.key] = value.current;
        }
    }
    for (const auto& [key, codes] : run.absent.items()) {
        for (const auto& [code, value] : codes.items()) document[key][code] = value;
    }
    changed = changed || run.absentChanged;
    Json panel = panelProgress(run);
    if (!panel.empty()) document[kPanelKey] = panel;
    changed = changed || panel != run.panel;
    bool saved = !changed || replaceState(run.path, document.dump() + "\n", error);
    if (saved && kept) kept();
    release(run);
    return saved;
}

namespace {

// Values of a monitor unplugged during the run go to the absent ones, as
// the file would have kept them had it been written just before.
void keepUnplugged(StateRun& run, const Machine& previous)
{
    for (const auto& [code, before] : run.loaded) {
        if (findMonitor(state().machine.monitors, code.first) != nullptr) continue;
        const Monitor* gone = findMonitor(previous.monitors, code.first);
        if (gone == nullptr || gone->vcp.count(code.second) == 0) continue;
        const VcpValue& value = gone->vcp.at(code.second);
        bool differs = value.current != before;
        if (differs || run.named.count(code) != 0) {
            run.absent[code.first][value.key] = value.current;
            run.absentChanged = run.absentChanged || differs;
        }
    }
}

// A monitor plugged back in during the run gets the values the file keeps
// for it, for the codes it still has.
void applyReplugged(StateRun& run)
{
    for (Monitor& monitor : state().machine.monitors) {
        auto kept = run.absent.find(monitor.key);
        if (kept == run.absent.end()) continue;
        // Codes it no longer has stay in the file, which the next run then
        // reports as naming a code its monitor lacks.
        Json left = Json::object();
        for (const auto& [codeKey, value] : kept->items()) {
            int code = parseVcpCode(codeKey);
            auto found = monitor.vcp.find(code);
            if (found == monitor.vcp.end()) {
                left[codeKey] = value;
                continue;
            }
            found->second.current = value.get<int>();
            run.loaded[{monitor.key, code}] = found->second.current;
            run.named.insert({monitor.key, code});
        }
        if (left.empty()) {
            run.absent.erase(kept);
        } else {
            *kept = std::move(left);
        }
    }
}

}  // namespace

void rebaseMonitorState(const Machine& previous)
{
    StateRun& run = stateRun();
    if (run.lockFd < 0) return;
    keepUnplugged(run, previous);
    // Values of monitors that were unplugged, or codes they lost, are no
    // longer the machine's to keep.
    const std::vector<Monitor>& monitors = state().machine.monitors;
    std::erase_if(run.loaded, [&](const auto& item) {
        const Monitor* monitor = findMonitor(monitors, item.first.first);
        return monitor == nullptr || monitor->vcp.count(item.first.second) == 0;
    });
    applyReplugged(run);
    std::erase_if(run.named, [&](const CodeOf& code) { return run.loaded.count(code) == 0; });
    recordNewValues(run);
    run.generation = state().generation;
}

}  // namespace sim
