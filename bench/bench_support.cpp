#include "bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "registry_gen.h"
#include "sim_control.h"

namespace bench {

bool ensureMachine(int entries, int displays, std::string* error)
{
    static int loadedEntries = -1;
    static int loadedDisplays = -1;
    if (entries == loadedEntries && displays == loadedDisplays) return true;
    loadedEntries = -1;
    if (entries == 0) {
        sim::loadDefaultScenario();
    } else {
        std::string text = generateScenario(entries, displays);
        if (text.empty()) {
            *error = "too few entries for the displays";
            return false;
        }
        if (!sim::loadScenarioText(text, error)) return false;
    }
    loadedEntries = entries;
    loadedDisplays = displays;
    return true;
}

bool readyBuiltInMachine(std::string* error)
{
    if (!ensureMachine(0, 0, error)) return false;
    unsetenv("DDC_DEBUG");
    sim::setFastPauses(true);
    sim::setTraceFile("");
    sim::clearTrace();
    return true;
}

QuietStdout::QuietStdout()
{
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

QuietStdout::~QuietStdout()
{
    std::fflush(stdout);
    if (saved_ >= 0) {
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
}

}  // namespace bench
