// Presses of a monitor's own buttons, read from the file PANOCTL_SIM_PANEL
// names: one line per press, "<monitor key> <code> <value>". The file is
// only appended to, so each read takes the whole lines added since the last
// one. A monitor takes its presses, in file order, before each operation
// made on it, as a real monitor's value has changed whenever it is next
// asked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "sim_state.h"

namespace sim {
namespace {

struct Press {
    std::string monitor;
    int code = -1;
    int value = 0;
};

// False for a line that is not "<key> <code> <value>" with a VCP code in
// the scenario's syntax and a value from 0 to 65535.
bool parsePress(const std::string& line, Press* press)
{
    std::istringstream words(line);
    std::string code;
    std::string value;
    std::string extra;
    if (!(words >> press->monitor >> code >> value) || (words >> extra)) return false;
    press->code = parseVcpCode(code);
    if (press->code < 0 || value.empty() || value.size() > 5 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    press->value = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    return press->value <= 0xffff;
}

// Reads the whole lines appended since the last read. The file is opened
// once it exists and kept open; it is only appended to.
void readNewLines(State& s)
{
    if (s.panelFd < 0) {
        s.panelFd = open(s.panelPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (s.panelFd < 0) return;
    }
    struct stat status {};
    if (fstat(s.panelFd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<uint64_t>(status.st_size) <= s.panelBytes) {
        return;
    }
    std::string added(static_cast<size_t>(static_cast<uint64_t>(status.st_size) - s.panelBytes),
                      '\0');
    ssize_t got = pread(s.panelFd, added.data(), added.size(), static_cast<off_t>(s.panelBytes));
    if (got <= 0) return;
    added.resize(static_cast<size_t>(got));
    size_t start = 0;
    for (size_t end = added.find('\n'); end != std::string::npos; end = added.find('\n', start)) {
        s.panelLines.push_back(added.substr(start, end - start));
        start = end + 1;
    }
    s.panelBytes += start;
    // Lines that cannot be read are traced once, whichever monitor looks.
    for (; s.panelChecked < s.panelLines.size(); ++s.panelChecked) {
        Press unused;
        if (!parsePress(s.panelLines[s.panelChecked], &unused)) {
            appendTrace("panel " + std::to_string(s.panelChecked + 1) + " skipped");
        }
    }
}

}  // namespace

void applyPanelPresses(Monitor& monitor)
{
    State& s = state();
    if (s.panelPath.empty()) return;
    readNewLines(s);
    for (; monitor.panelLines < s.panelLines.size(); ++monitor.panelLines) {
        Press press;
        if (!parsePress(s.panelLines[monitor.panelLines], &press) || press.monitor != monitor.key) {
            continue;
        }
        auto found = monitor.vcp.find(press.code);
        if (found == monitor.vcp.end()) continue;
        found->second.current = std::min(press.value, found->second.max);
        if (monitor.newControlValue == NewControlValue::faithful &&
            std::find(monitor.pressed.begin(), monitor.pressed.end(), press.code) ==
                monitor.pressed.end()) {
            monitor.pressed.push_back(press.code);
        }
    }
}

void setPanelFile(const std::string& path)
{
    State& s = state();
    if (s.panelFd >= 0) close(s.panelFd);
    s.panelFd = -1;
    s.panelPath = path;
    s.panelLines.clear();
    s.panelBytes = 0;
    s.panelChecked = 0;
}

}  // namespace sim
