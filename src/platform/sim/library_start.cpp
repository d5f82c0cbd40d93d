// A program that links the library never runs the sim build's entry point,
// so the simulated machine is set up on the first session it opens: from
// PANOCTL_SIM_SCENARIO (the built-in machine without it), PANOCTL_SIM_SEED,
// PANOCTL_SIM_TRACE and PANOCTL_SIM_FAST, as for a run of the command, but
// with no monitor state file: the program's values last as long as it does.
// A machine already loaded (by a test, say) is kept.
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "sim_control.h"
#include "sim_state.h"

namespace {

void setUpFromEnvironment()
{
    if (sim::state().generation != 0) {
        return;
    }
    // A program may run for days: its trace goes to PANOCTL_SIM_TRACE's
    // file, if any, and is not kept in memory as well.
    sim::keepTraceInMemory(false);
    std::string error;
    if (!sim::configureFromEnvironment(&error, false)) {
        // The simulated machine's own complaint: the program is left with an
        // empty machine, no displays.
        std::fprintf(stderr, "panoctl simulation: %s\n", error.c_str());
    }
}

}  // namespace

void startPlatformForLibrary()
{
    static std::once_flag once;
    std::call_once(once, setUpFromEnvironment);
}
