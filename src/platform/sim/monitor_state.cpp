// Monitor values kept from run to run in a state file: read and applied after
// the scenario at the start of a run, written back at its end when a value
// changed. Runs that share the file take turns on an exclusive lock on a
// companion file, "<path>.lock", held from the read to the write-back, so two
// concurrent `set` runs cannot both start from the same old values. The lock
// is not on the state file itself, which every write-back replaces.
//
// Write-back goes to "<path>.tmp" (only the lock holder writes there, so one
// fixed name is enough), is flushed to disk, then renamed over the state file:
// a run stopped at any moment leaves the old file or the new one, and at most
// a stale "<path>.tmp" that the next write-back truncates.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

using Json = nlohmann::ordered_json;
using CodeOf = std::pair<std::string, int>;  // monitor key, VCP code

struct StateRun {
    std::string path;
    int lockFd = -1;
    uint64_t generation = 0;  // the machine the values were applied to
    // Every VCP value of the machine right after the file was applied (and of
    // monitors plugged in since, as they came); a run changed a value when
    // the machine no longer matches it.
    std::map<CodeOf, int> loaded;
    std::set<CodeOf> named;  // codes the file gave a value for
};

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

bool lock(const std::string& path, int* fd, std::string* error)
{
    std::string lockPath = path + ".lock";
    *fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (*fd < 0) {
        *error = withErrno("cannot open", lockPath);
        return false;
    }
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

// The file's text; a missing file reads as an empty object.
bool readState(const std::string& path, std::string* text, std::string* error)
{
    FileStamp stamp;
    bool missing = false;
    if (readTextFile(path, text, &stamp, error, &missing)) return true;
    if (!missing) return false;
    *text = "{}";
    return true;
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

// The values the file gives, each checked against the scenario's machine.
bool parseState(const std::string& text, std::vector<Assignment>* values, std::string* error)
{
    Json document;
    try {
        document = Json::parse(text);
    } catch (const Json::parse_error& e) {
        *error = parseErrorMessage(text, e.byte);
        return false;
    } catch (const Json::out_of_range& e) {
        // A number past the range of a double, such as 1e400.
        std::string what = e.what();
        *error = "invalid json: " + what.substr(what.find("] ") + 2);
        return false;
    }
    if (!document.is_object()) {
        *error = "expected a json object";
        return false;
    }
    const std::vector<Monitor>& monitors = state().machine.monitors;
    for (const auto& item : document.items()) {
        const std::string& key = item.key();
        const Json& codes = item.value();
        std::string where = "[" + quoted(key) + "]";
        const Monitor* monitor = findMonitor(monitors, key);
        if (monitor == nullptr) {
            *error = where + ": the scenario has no monitor " + quoted(key);
            return false;
        }
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
            } else if (monitor->vcp.count(code) == 0) {
                *error = at + "the scenario's monitor has no such code";
            } else if (!value.is_number_unsigned() || value.get<uint64_t>() > 65535) {
                *error = at + "expected an integer from 0 to 65535";
            } else {
                values->push_back({{key, code}, static_cast<int>(value.get<uint64_t>())});
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

// Replaces the state file with `text`: to "<path>.tmp", to disk, renamed over.
bool replaceState(const std::string& path, const std::string& text, std::string* error)
{
    std::string temporary = path + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = withErrno("cannot create", temporary);
        return false;
    }
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

}  // namespace

bool loadMonitorState(const std::string& path, std::string* error)
{
    StateRun& run = stateRun();
    release(run);
    int fd = -1;
    if (!lock(path, &fd, error)) return false;

    std::string text;
    std::vector<Assignment> values;
    if (!readState(path, &text, error) || !parseState(text, &values, error)) {
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
    run.path = path;
    run.lockFd = fd;
    run.generation = state().generation;
    return true;
}

bool saveMonitorState(std::string* error)
{
    StateRun& run = stateRun();
    if (run.lockFd < 0) return true;
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
    bool saved = !changed || replaceState(run.path, document.dump() + "\n", error);
    release(run);
    return saved;
}

void rebaseMonitorState()
{
    StateRun& run = stateRun();
    if (run.lockFd < 0) return;
    // Values of monitors that were unplugged, or codes they lost, are no
    // longer the machine's to keep.
    const std::vector<Monitor>& monitors = state().machine.monitors;
    std::erase_if(run.loaded, [&](const auto& item) {
        const Monitor* monitor = findMonitor(monitors, item.first.first);
        return monitor == nullptr || monitor->vcp.count(item.first.second) == 0;
    });
    std::erase_if(run.named, [&](const CodeOf& code) { return run.loaded.count(code) == 0; });
    recordNewValues(run);
    run.generation = state().generation;
}

}  // namespace sim
