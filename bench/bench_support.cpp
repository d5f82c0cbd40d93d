#include "bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "registry_gen.h"
#include "sim_control.h"

namespace bench {

namespace {

// The generated machine loaded last; -1 when another one was loaded since.
int loadedEntries = -1;
int loadedDisplays = -1;

}  // namespace

bool ensureMachine(int entries, int displays, std::string* error)
{
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

bool loadOtherMachine(std::string_view scenario, std::string* error)
{
    loadedEntries = -1;
    loadedDisplays = -1;
    return sim::loadScenarioText(scenario, error);
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
